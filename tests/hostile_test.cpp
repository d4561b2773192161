// A hostile environment and hostile intermediate files: every run ends with
// result 2 and its exact message, or with a complete netlist, and leaves no
// "ZEDID.TMP" behind. (The missing and folder intermediate files, a folder
// named "ZEDID.TMP" and absent arguments are in export_test.cpp.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

class Hostile : public LibraryTest {
protected:
    void TearDown() override {
        EXPECT_FALSE(FileExists((scratch_.Path() / "ZEDID.TMP").string()));
        LibraryTest::TearDown();
    }
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

// ---- Files and links under the temporary file's name ---------------------

// The worked example's netlist, from its golden case.
std::string WorkedNetlist() { return ReadBytes(ZEDID_TEST_DATA "/golden/worked_example/expected.asc"); }

// A row that this system can plant was not planted: only Windows may lack
// links, devices and FIFOs.
void NotPlanted(const char* what) {
#if defined(_WIN32)
    std::printf("skipped: this system cannot plant %s\n", what);
#else
    ADD_FAILURE() << "could not plant " << what;
#endif
}

TEST_F(Hostile, NothingPlantedUnderTheTemporaryNameIsWrittenThrough) {
    // A link of that name once received the trace-width nets, and the run
    // then removed the link, hiding what had happened.
    const std::string design = WorkedExample();
    const std::string expected = WorkedNetlist();
    WriteBytes("design.ONL", design);
    struct Row {
        const char* what;
        std::function<bool()> plant;  // false: this system cannot plant it
    } rows[] = {
        {"symbolic link to a file",
         [] {
             std::error_code error;
             fs::create_symlink("victim", "ZEDID.TMP", error);
             return !error;
         }},
        {"hard link to a file",
         [] {
             std::error_code error;
             fs::create_hard_link("victim", "ZEDID.TMP", error);
             return !error;
         }},
        {"dangling symbolic link",
         [] {
             std::error_code error;
             fs::create_symlink("created-through-the-link", "ZEDID.TMP", error);
             return !error;
         }},
        {"file from an earlier run",
         [] {
             WriteBytes("ZEDID.TMP", "*SIGNAL* FROM_AN_EARLIER_RUN\r\n");
             return true;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteBytes("victim", "precious\n");
        if (!row.plant()) {
            NotPlanted(row.what);
            continue;
        }
        EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_WARNINGS);
        TakeMessages();
        EXPECT_EQ(ReadBytes("out.asc"), expected);
        EXPECT_EQ(ReadBytes("victim"), "precious\n");
        EXPECT_FALSE(FileExists("created-through-the-link"));
        EXPECT_FALSE(fs::is_symlink(fs::symlink_status("ZEDID.TMP")));
        EXPECT_FALSE(FileExists("ZEDID.TMP"));
    }
}

// Called with each message line during the run, when set.
std::function<void(const std::string&)> Meddle;

int ZEDID_CALL RecordAndMeddle(const char* text) {
    RecordMessage(text);
    if (Meddle) Meddle(text);
    return 0;
}

TEST_F(Hostile, TemporaryNameReplacedDuringTheRun) {
    // Its third net's illegal name gives a warning after the trace-width
    // net VCC went to the temporary file: the moment to swap the file. Read
    // back by name, foreign blocks were appended, /dev/null dropped VCC,
    // /dev/zero never ended and a FIFO blocked. Its label is X00003 as the
    // unnamed net's was, so the netlist is the worked example's.
    std::string design = WorkedExample();
    design.replace(design.find("(net N00012\n      (property (nettype \"U\"))"), 46, "(net \"N 12\"");
    const std::string expected = WorkedNetlist();
    ASSERT_NE(expected.find("*SIGNAL* VCC 20"), std::string::npos);
    WriteBytes("design.ONL", design);
    struct Row {
        const char* what;
        std::function<bool()> plant;
    } rows[] = {
        {"a file of foreign blocks",
         [] {
             std::error_code error;
             fs::remove("ZEDID.TMP", error);
             WriteBytes("ZEDID.TMP", "*SIGNAL* FOREIGN 99\r\nX1.1 X2.1\r\n");
             return true;
         }},
        {"a link to /dev/null",
         [] {
             std::error_code error;
             fs::remove("ZEDID.TMP", error);
             fs::create_symlink("/dev/null", "ZEDID.TMP", error);
             return !error && fs::exists("/dev/null");
         }},
        {"a link to /dev/zero",
         [] {
             std::error_code error;
             fs::remove("ZEDID.TMP", error);
             fs::create_symlink("/dev/zero", "ZEDID.TMP", error);
             return !error && fs::exists("/dev/zero");
         }},
        {"a FIFO",
         [] {
#if defined(_WIN32)
             return false;
#else
             std::error_code error;
             fs::remove("ZEDID.TMP", error);
             return mkfifo("ZEDID.TMP", 0600) == 0;
#endif
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        bool planted = true;
        Meddle = [&](const std::string& text) {
            if (text.rfind("WARNING: Name contains", 0) == 0) planted = row.plant();
        };
        int result = ZedidDLL90("design", "out.asc", nullptr, nullptr, RecordAndMeddle, nullptr);
        Meddle = nullptr;
        TakeMessages();
        std::error_code error;
        fs::remove("ZEDID.TMP", error);
        if (!planted) {
            NotPlanted(row.what);
            continue;
        }
        EXPECT_EQ(result, ZEDID_RESULT_WARNINGS);
        EXPECT_EQ(ReadBytes("out.asc"), expected);
    }
}

#if !defined(_WIN32)

// Runs the export for BASE into OUTPUT in a child process once GO is
// readable; gives the child's id.
pid_t StartChild(const char* base, const char* output, int go) {
    pid_t child = fork();
    if (child == 0) {
        char ready;
        ssize_t got = read(go, &ready, 1);
        (void)got;
        _exit(ZedidDLL90(base, output, nullptr, nullptr, nullptr, nullptr));
    }
    return child;
}

int ExitStatus(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Hostile, TwoProcessesInOneFolderEachWriteTheirOwnNetlist) {
    // Sharing "ZEDID.TMP", 39 of 50 pairs once ended with wrong netlists,
    // 7 of them with result 0 and the other design's nets.
    std::string other = WorkedExample();
    for (const char* net : {"GND", "VCC"}) other.replace(other.find(std::string("(net ") + net), 5 + 3, std::string("(net ") + net + "2");
    other.replace(other.find("(tracewidth \"20\")"), 17, "(tracewidth \"35\")");
    std::string renamed = WorkedNetlist();
    renamed.replace(renamed.find("*SIGNAL* GND\r"), 12, "*SIGNAL* GND2");
    renamed.replace(renamed.find("*SIGNAL* VCC 20"), 15, "*SIGNAL* VCC2 35");
    const std::string expected[2] = {WorkedNetlist(), renamed};
    ASSERT_NE(expected[0], expected[1]);
    WriteBytes("first.ONL", WorkedExample());
    WriteBytes("second.ONL", other);
    for (int round = 0; round < 50; round++) {
        SCOPED_TRACE("round " + std::to_string(round));
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t first = StartChild("first", "first.asc", go[0]);
        pid_t second = StartChild("second", "second.asc", go[0]);
        ASSERT_GT(first, 0);
        ASSERT_GT(second, 0);
        ASSERT_EQ(write(go[1], "gg", 2), 2);
        close(go[0]);
        close(go[1]);
        EXPECT_EQ(ExitStatus(first), ZEDID_RESULT_WARNINGS);
        EXPECT_EQ(ExitStatus(second), ZEDID_RESULT_WARNINGS);
        EXPECT_EQ(ReadBytes("first.asc"), expected[0]);
        EXPECT_EQ(ReadBytes("second.asc"), expected[1]);
        if (HasFailure()) break;
    }
}

int ZEDID_CALL KillOnCreating(const char* text) {
    if (std::string(text) == "Creating Netlist...") raise(SIGKILL);
    return 0;
}

TEST_F(Hostile, KilledRunLeavesNoTemporaryFile) {
    WriteBytes("design.ONL", WorkedExample());
    pid_t child = fork();
    if (child == 0) _exit(ZedidDLL90("design", "out.asc", nullptr, nullptr, KillOnCreating, nullptr));
    ASSERT_GT(child, 0);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
}

#endif

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
