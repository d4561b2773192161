// The version resource of the real zedid.dll as Windows itself reads it
// (GetFileVersionInfo, VerQueryValue): the numbers of the public header,
// which come from the project's version. Windows only.
#include <gtest/gtest.h>

#if defined(_WIN32)

#include <windows.h>

#include <string>
#include <vector>

#include "zedid.h"

namespace {

// The whole version resource of the DLL; empty when it has none.
std::vector<char> VersionResource() {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(ZEDID_DLL, &ignored);
    std::vector<char> data(size);
    if (size == 0 || !GetFileVersionInfoA(ZEDID_DLL, 0, size, data.data())) data.clear();
    return data;
}

// One text of the US English, Unicode block; "" when it is missing.
std::string VersionText(std::vector<char>& data, const char* name) {
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), path.c_str(), &value, &length) || value == nullptr) return "";
    return static_cast<const char*>(value);
}

TEST(WindowsVersion, FixedPartHoldsTheHeadersVersion) {
    std::vector<char> data = VersionResource();
    ASSERT_FALSE(data.empty()) << ZEDID_DLL << " has no version resource";
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &value, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD ms = (ZEDID_VERSION_MAJOR << 16) | ZEDID_VERSION_MINOR;
    const DWORD ls = ZEDID_VERSION_PATCH << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, ms);
    EXPECT_EQ(fixed->dwFileVersionLS, ls);
    EXPECT_EQ(fixed->dwProductVersionMS, ms);
    EXPECT_EQ(fixed->dwProductVersionLS, ls);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST(WindowsVersion, TextsNameTheFileAndItsVersion) {
    std::vector<char> data = VersionResource();
    ASSERT_FALSE(data.empty()) << ZEDID_DLL << " has no version resource";
    EXPECT_EQ(VersionText(data, "FileVersion"), ZEDID_VERSION_STRING);
    EXPECT_EQ(VersionText(data, "ProductVersion"), ZEDID_VERSION_STRING);
    EXPECT_EQ(VersionText(data, "OriginalFilename"), "zedid.dll");
    EXPECT_EQ(VersionText(data, "FileDescription"), "zedid netlist formatter");
    EXPECT_EQ(VersionText(data, "ProductName"), "zedid");
}

}  // namespace

#endif
