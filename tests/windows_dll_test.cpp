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

// A link planted at ZEDID.TMP leads the library nowhere: nothing is deleted
// by name, and the creation is refused.
TEST_F(WindowsDll, ALinkPlantedAtTheTemporaryFileDeletesNothing) {
    fs::copy_file(WorkedExample / "design.ONL", "design.ONL");
    WriteBytes("victim.txt", "precious");
    if (!CreateSymbolicLinkA("ZEDID.TMP", "victim.txt", 0) || GetFileAttributesA("ZEDID.TMP") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "this system makes no symbolic links";
    EXPECT_EQ(run_("design", "design.asc", nullptr, nullptr, RecordMessage, module_), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0015] Can't create temporary file"});
    EXPECT_EQ(ReadBytes("victim.txt"), "precious");
}

// Ctrl+Break in the middle of a batch: the CLI stops at its next step,
// says so, and leaves no new file and no working folder behind.
TEST_F(WindowsDll, TheCliInterruptedByTheConsoleLeavesNothingBehind) {
    fs::create_directory("temp");
    std::string command = std::string("\"") + ZEDID_CLI + "\" -q";
    for (int i = 0; i < 150; i++) {
        std::string name = "d" + std::to_string(i) + ".ONL";
        fs::copy_file(WorkedExample / "design.ONL", name);
        command += " " + name;
    }
    SetEnvironmentVariableA("TMP", (scratch_.Path() / "temp").string().c_str());
    SetEnvironmentVariableA("TEMP", (scratch_.Path() / "temp").string().c_str());
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileA("err.txt", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                               nullptr, &startup, &process));
    // Once the first netlists are there, the batch is under way.
    for (int wait = 0; wait < 200 && !FileExists("d3.asc"); wait++) Sleep(50);
    bool sent = GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId) != 0;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(err);
    SetEnvironmentVariableA("TMP", nullptr);
    SetEnvironmentVariableA("TEMP", nullptr);
    if (!sent || status == 1) GTEST_SKIP() << "this system sends no console events to the process";
    EXPECT_EQ(status, static_cast<DWORD>(STATUS_CONTROL_C_EXIT));
    EXPECT_NE(ReadBytes("err.txt").find(".ONL: interrupted"), std::string::npos);  // marked with its design
    EXPECT_TRUE(fs::is_empty("temp"));
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().find(".zedid-"), std::string::npos) << entry.path();
}

}  // namespace

#endif
