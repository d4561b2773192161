// The real zedid.dll, loaded the way a host loads it: by name, the export
// found by name, and the module handle passed back. Windows only; the test
// program links the library's objects too, but nothing here calls them.
#include <gtest/gtest.h>

#if defined(_WIN32)

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support.h"
#include "zedid.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using ExportFunction = int(ZEDID_CALL*)(const char*, const char*, const char*, const char*, MessageCallback, void*);

const fs::path WorkedExample = fs::path(ZEDID_TEST_DATA) / "golden" / "worked_example";

class WindowsDll : public ::testing::Test {
protected:
    void SetUp() override {
        TakeMessages();
        module_ = LoadLibraryA(ZEDID_DLL);
        ASSERT_NE(module_, nullptr) << ZEDID_DLL;
        run_ = reinterpret_cast<ExportFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "ZedidDLL90")));
        ASSERT_NE(run_, nullptr);
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
        TakeMessages();
    }
    ScratchDirectory scratch_;
    HMODULE module_ = nullptr;
    ExportFunction run_ = nullptr;
};

TEST_F(WindowsDll, LoadingAndUnloadingDoNothing) {
    // SetUp loaded it; a second module reference and its release as well.
    HMODULE again = LoadLibraryA(ZEDID_DLL);
    ASSERT_EQ(again, module_);
    FreeLibrary(again);
    EXPECT_TRUE(fs::is_empty(scratch_.Path()));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(WindowsDll, ExportIsFoundByItsUndecoratedNameOnly) {
    for (const char* name : {"_ZedidDLL90", "ZedidDLL90@24", "_ZedidDLL90@24", "zediddll90"})
        EXPECT_EQ(GetProcAddress(module_, name), nullptr) << name;
}

TEST_F(WindowsDll, MessagesComeFromTheStringTableOfTheModulePassed) {
    EXPECT_EQ(run_("missing", "out.asc", nullptr, nullptr, RecordMessage, module_), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0016] Internal error - can't open intermediate file"});

    // A module without the table, opened only for its resources: the DLL
    // looks in it, not in itself, and finds no text.
    HMODULE bare = LoadLibraryExA(ZEDID_CLI, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(bare, nullptr) << ZEDID_CLI;
    EXPECT_EQ(run_("missing", "out.asc", nullptr, nullptr, RecordMessage, bare), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{""});
    FreeLibrary(bare);
}

TEST_F(WindowsDll, RepeatedCallsInOneProcessGiveTheGoldenNetlist) {
    const std::string expected = ReadBytes((WorkedExample / "expected.asc").string());
    ASSERT_FALSE(expected.empty());
    fs::copy_file(WorkedExample / "design.ONL", "design.ONL");
    for (int call = 0; call < 2; call++) {
        SCOPED_TRACE(call);
        EXPECT_EQ(run_("design", "design.asc", nullptr, nullptr, RecordMessage, module_), ZEDID_RESULT_WARNINGS);
        EXPECT_EQ(ReadBytes("design.asc"), expected);
        EXPECT_FALSE(FileExists("ZEDID.TMP"));
        Lines messages = TakeMessages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back(), "Done");
    }
}

}  // namespace

#endif
