// A hostile environment and hostile intermediate files: every run ends with
// result 2 and its exact message, or with a complete netlist, and leaves no
// "ZEDID.TMP" behind. (The missing and folder intermediate files, a folder
// named "ZEDID.TMP" and absent arguments are in export_test.cpp.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"
#include "zedid.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const Lines OutputFailed{"[FMT0012] Can't open first output file"};
const Lines TemporaryFailed{"[FMT0015] Can't create temporary file"};
const Lines ReadFailed{"[FMT0018] Errors processing intermediate file"};

std::string WorkedExample() { return ReadBytes(ZEDID_EXAMPLES "/worked.ONL"); }

// 1 when a file can be created in FOLDER right now: as root, permission
// bits do not stop it.
bool CanCreateFileIn(const fs::path& folder) {
    fs::path probe = folder / "probe";
    bool created = std::ofstream(probe).good();
    std::error_code ignored;
    fs::remove(probe, ignored);
    return created;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class Hostile : public ::testing::Test {
protected:
    void SetUp() override { TakeMessages(); }
    void TearDown() override {
        EXPECT_FALSE(FileExists((scratch_.Path() / "ZEDID.TMP").string()));
        TakeMessages();
    }
    ScratchDirectory scratch_;
};

// ---- The output file ------------------------------------------------------

TEST_F(Hostile, OutputPathThatIsAFolder) {
    WriteBytes("design.ONL", WorkedExample());
    fs::create_directory("out.asc");
    EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), OutputFailed);
    EXPECT_TRUE(fs::is_directory("out.asc"));
}

TEST_F(Hostile, OutputFileThatIsReadOnly) {
    WriteBytes("design.ONL", WorkedExample());
    WriteBytes("out.asc", "kept");
    fs::permissions("out.asc", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (std::ofstream("out.asc", std::ios::app).good())
        GTEST_SKIP() << "this user may write read-only files (root); see OutputInAFolderNoFileCanBeCreatedIn";
    EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), OutputFailed);
    EXPECT_EQ(ReadBytes("out.asc"), "kept");
}

TEST_F(Hostile, OutputInAFolderNoFileCanBeCreatedIn) {
    // Not even root can create a file in /proc.
    if (!fs::is_directory("/proc") || CanCreateFileIn("/proc")) GTEST_SKIP() << "no /proc that refuses new files";
    WriteBytes("design.ONL", WorkedExample());
    EXPECT_EQ(CallExport("design", "/proc/zedid-out.asc"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), OutputFailed);
}

TEST_F(Hostile, OutputFileThatIsTheTemporaryFile) {
    // Deleting the temporary file at the end would take the netlist with it,
    // while the run reported success.
    WriteBytes("design.ONL", WorkedExample());
    fs::create_directory("sub");
    const std::string same = (scratch_.Path() / "ZEDID.TMP").string();
    for (const char* output : {"ZEDID.TMP", "./ZEDID.TMP", "sub/../ZEDID.TMP", same.c_str()}) {
        SCOPED_TRACE(output);
        EXPECT_EQ(CallExport("design", output), ZEDID_RESULT_ERRORS);
        EXPECT_EQ(TakeMessages(), TemporaryFailed);
        // It stays as the output file, empty, as after every message 15.
        EXPECT_EQ(ReadBytes("ZEDID.TMP"), "");
        fs::remove("ZEDID.TMP");
    }
}

TEST_F(Hostile, OutputFileThatIsTheIntermediateFileIsRefusedUntouched) {
    // Opening the output empties it: the design would be gone before it is
    // read. Compared by file identity, under whatever name.
    const std::string design = WorkedExample();
    WriteBytes("design.ONL", design);
    fs::create_directory("sub");
    std::vector<std::string> names{"design.ONL", "./design.ONL", "sub/../design.ONL",
                                   (scratch_.Path() / "design.ONL").string()};
    std::error_code linked;
    fs::create_hard_link("design.ONL", "hard.asc", linked);
    if (!linked) names.push_back("hard.asc");
    fs::create_symlink("design.ONL", "soft.asc", linked);
    if (!linked) names.push_back("soft.asc");
    for (const std::string& output : names) {
        SCOPED_TRACE(output);
        EXPECT_EQ(CallExport("design", output.c_str()), ZEDID_RESULT_ERRORS);
        EXPECT_EQ(TakeMessages(), OutputFailed);
        EXPECT_EQ(ReadBytes("design.ONL"), design);
    }
}

// ---- The current directory, where "ZEDID.TMP" goes ------------------------

TEST_F(Hostile, CurrentDirectoryThatIsReadOnly) {
    fs::create_directory("out");
    WriteBytes("design.ONL", WorkedExample());
    fs::path output = scratch_.Path() / "out" / "design.asc";
    fs::permissions(".", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (CanCreateFileIn(".")) {
        fs::permissions(".", fs::perms::owner_write, fs::perm_options::add);
        GTEST_SKIP() << "this user may write to read-only folders (root); see CurrentDirectoryThatWasRemoved";
    }
    EXPECT_EQ(CallExport("design", output.string().c_str()), ZEDID_RESULT_ERRORS);
    fs::permissions(".", fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(TakeMessages(), TemporaryFailed);
    EXPECT_EQ(ReadBytes(output.string()), "");
}

TEST_F(Hostile, CurrentDirectoryThatWasRemoved) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows refuses to remove a folder that is a process's current directory";
#endif
    // A removed directory takes no new file, whoever asks.
    WriteBytes("design.ONL", WorkedExample());
    fs::path output = scratch_.Path() / "design.asc";
    fs::path gone = scratch_.Path() / "gone";
    fs::create_directory(gone);
    fs::current_path(gone);
    fs::remove(gone);
    std::string base = (scratch_.Path() / "design").string();
    EXPECT_EQ(CallExport(base.c_str(), output.string().c_str()), ZEDID_RESULT_ERRORS);
    fs::current_path(scratch_.Path());
    EXPECT_EQ(TakeMessages(), TemporaryFailed);
    EXPECT_EQ(ReadBytes(output.string()), "");
}

TEST_F(Hostile, LeftoverTemporaryFileIsEmptiedAndDeleted) {
    WriteBytes("design.ONL", WorkedExample());
    WriteBytes("ZEDID.TMP", "*SIGNAL* FROM_AN_EARLIER_CRASH\r\n");
    EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_WARNINGS);
    EXPECT_EQ(ReadBytes("out.asc").find("EARLIER_CRASH"), std::string::npos);
}

// ---- Hostile intermediate files -------------------------------------------

// Bytes of every value, from a fixed sequence, so every run sees the same.
std::string Garbage(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

TEST_F(Hostile, FilesThatAreNoDesign) {
    struct Row {
        const char* what;
        std::string bytes;
        Lines messages;
    };
    const Row rows[] = {
        {"empty", "", ReadFailed},
        {"only line ends", "\r\n\n\r\n", ReadFailed},
        {"Ctrl+Z before the text", "\x1a(pcb (placement))", ReadFailed},
        {"zero byte before the text", std::string("\0(pcb)", 6), ReadFailed},
        {"binary garbage", "\x01" + Garbage(64 * 1024, 1), ReadFailed},
        {"a word, then garbage", "pcb (" + Garbage(4096, 2), ReadFailed},
        {"pcb, then garbage without sections", "(pcb " + Garbage(4096, 3), {"[FMT0021] No parts in the design"}},
        {"an unclosed quote to the end", "(pcb (placement (component \"C (place C1", ReadFailed},
        {"a backslash at the end", "(pcb (placement (component C (place C1\\", ReadFailed},
        {"only opening parentheses", std::string(100000, '('), ReadFailed},
        {"only closing parentheses", std::string(100000, ')'), ReadFailed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteBytes("design.ONL", row.bytes);
        EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
        EXPECT_EQ(TakeMessages(), row.messages);
        EXPECT_FALSE(FileExists("ZEDID.TMP"));
        EXPECT_EQ(ReadBytes("out.asc"), "");
    }
}

TEST_F(Hostile, DesignTruncatedAtEveryByte) {
    const std::string design = WorkedExample();
    ASSERT_FALSE(design.empty());
    for (std::size_t size = 0; size <= design.size(); size++) {
        SCOPED_TRACE("first " + std::to_string(size) + " bytes");
        WriteBytes("design.ONL", design.substr(0, size));
        int result = CallExport("design", "out.asc");
        Lines messages = TakeMessages();
        EXPECT_FALSE(FileExists("ZEDID.TMP"));
        if (result == ZEDID_RESULT_ERRORS) {
            ASSERT_FALSE(messages.empty());
            EXPECT_EQ(messages.back().rfind("[FMT", 0), 0u) << messages.back();
        } else {
            // A prefix that closes every section it opens is a design.
            EXPECT_EQ(result, ZEDID_RESULT_WARNINGS);
            EXPECT_TRUE(EndsWith(ReadBytes("out.asc"), "*END*\r\n"));
        }
        if (HasFailure()) break;
    }
}

// ---- 50 MB of one unclosed group --------------------------------------------

// Writes HEAD, then FILL repeated to SIZE bytes in all, in blocks.
void WriteHugeFile(const std::string& name, const std::string& head, const std::string& fill, std::size_t size) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << head;
    std::string block;
    while (block.size() < 1024 * 1024) block += fill;
    for (std::size_t written = head.size(); written < size; written += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
}

TEST_F(Hostile, HugeUnclosedGroups) {
    constexpr std::size_t HugeSize = 50u * 1024 * 1024;
    struct Row {
        const char* what;
        const char* head;
        std::string fill;
    };
    const Row rows[] = {
        {"nested groups", "(pcb (placement (component C (place C1 (property ", "("},
        {"one endless word", "(pcb (description (title ", "x"},
        {"endless pipetext", "(pcb (pipetext ", std::string(200, 'w') + " "},
        {"endless group in a pins group", "(pcb (network (net N (pins ", "(x "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteHugeFile("design.ONL", row.head, row.fill, HugeSize);
        EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
        EXPECT_EQ(TakeMessages(), ReadFailed);
        EXPECT_FALSE(FileExists("ZEDID.TMP"));
    }
    std::remove("design.ONL");
}

}  // namespace
