// Every write, flush and close of the netlist and the temporary file is
// checked: a netlist that did not reach the disk whole ends in result 2 and
// a message that says which file failed, never in "Done" and a good result.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support.h"
#include "zedid.h"

#if defined(__linux__)
#include <sys/mount.h>
#endif

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string OutputFailed = "[FMT0025] Can't write output file";
const std::string TemporaryFailed = "[FMT0026] Can't write temporary file";

// A design of COUNT two-pin nets, every other one with a trace width, so
// that both the netlist and the temporary file outgrow the 64 KB block
// that text files write through.
std::string ManyNets(int count) {
    std::string text = "(pcb\n(placement\n(component RES\n";
    for (int i = 1; i <= count; i++) text += "(place R" + std::to_string(i) + ")\n";
    text += "))\n(library\n(image RES\n(pin 1 1)\n(pin 2 2)\n))\n(network\n";
    for (int i = 1; i <= count; i++) {
        std::string n = std::to_string(i);
        text += "(net N" + n + (i % 2 == 0 ? " (property (tracewidth \"12\"))" : "") + " (pins R" + n + "-1 R" + n +
                "-2))\n";
    }
    return text + "))\n";
}

class WriteFailure : public LibraryTest {
protected:
    void TearDown() override {
        SetWriteFailure(-1);
        EXPECT_FALSE(FileExists("ZEDID.TMP"));
        LibraryTest::TearDown();
    }

    // Fails write operations of a run of DESIGN one at a time: every run must
    // end in result 2 with exactly one write message, and "Done" only when
    // the very last step, the close, failed after it.
    void SweepEveryWrite(const std::string& design, int expected) {
        WriteBytes("design.ONL", design);
        SetWriteFailure(-1);
        ASSERT_EQ(CallExport("design", "out.asc"), expected);
        Lines clean = TakeMessages();
        ASSERT_EQ(clean.back(), "Done");
        long writes = SetWriteFailure(-1);
        ASSERT_GT(writes, 2);
        // Every write where there are few; otherwise the first and last
        // hundred and a hundred in between (on Windows each text is a write).
        std::vector<long> chosen;
        for (long failing = 0; failing < writes; failing++) {
            if (writes <= 300 || failing < 100 || failing >= writes - 100 || failing % (writes / 100) == 0)
                chosen.push_back(failing);
        }
        for (long failing : chosen) {
            SCOPED_TRACE("write " + std::to_string(failing) + " of " + std::to_string(writes));
            SetWriteFailure(failing);
            EXPECT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_ERRORS);
            long made = SetWriteFailure(-1);
            EXPECT_GT(made, failing);
            Lines messages = TakeMessages();
            int reports = 0;
            std::size_t at = 0;
            for (std::size_t i = 0; i < messages.size(); i++) {
                if (messages[i] == OutputFailed || messages[i] == TemporaryFailed) {
                    reports++;
                    at = i;
                }
            }
            EXPECT_EQ(reports, 1);
            auto done = std::find(messages.begin(), messages.end(), "Done");
            if (done != messages.end()) {
                EXPECT_EQ(at, messages.size() - 1) << "only the close may fail after \"Done\"";
            }
            if (HasFailure()) break;
        }
        // Nothing of the hook is left for the next run.
        EXPECT_EQ(CallExport("design", "out.asc"), expected);
        EXPECT_EQ(TakeMessages(), clean);
    }
};

TEST_F(WriteFailure, EveryWriteOfTheWorkedExample) {
    SweepEveryWrite(ReadBytes(ZEDID_EXAMPLES "/worked.ONL"), ZEDID_RESULT_WARNINGS);
}

TEST_F(WriteFailure, EveryWriteOfAFileLargerThanItsBlock) { SweepEveryWrite(ManyNets(6000), ZEDID_RESULT_OK); }

TEST_F(WriteFailure, TemporaryFileThatCannotBeWrittenLosesNoNetQuietly) {
    // Once the nets with a trace width went missing from a netlist that
    // ended in *END*, with a good result. The first write that fails the
    // temporary file rather than the netlist (on Linux the very first).
    WriteBytes("design.ONL", ReadBytes(ZEDID_EXAMPLES "/worked.ONL"));
    SetWriteFailure(-1);
    ASSERT_EQ(CallExport("design", "out.asc"), ZEDID_RESULT_WARNINGS);
    TakeMessages();
    long writes = SetWriteFailure(-1);
    bool found = false;
    for (long failing = 0; failing < writes && !found; failing++) {
        SetWriteFailure(failing);
        int result = CallExport("design", "out.asc");
        Lines messages = TakeMessages();
        if (std::find(messages.begin(), messages.end(), TemporaryFailed) == messages.end()) continue;
        found = true;
        SCOPED_TRACE("write " + std::to_string(failing));
        EXPECT_EQ(result, ZEDID_RESULT_ERRORS);
        EXPECT_EQ(std::count(messages.begin(), messages.end(), "Done"), 0);
        EXPECT_EQ(std::count(messages.begin(), messages.end(), OutputFailed), 0);
        EXPECT_EQ(messages.back(), TemporaryFailed);
    }
    EXPECT_TRUE(found);
}

TEST_F(WriteFailure, OutputOnAFullDevice) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    const Lines worked{"4 Parts, 4 Library Parts, 3 Nets, 9 Pins\n", "Creating Netlist...",
                       "WARNING: Reference is too long 'CONN123', truncated to CONN12", OutputFailed};
    WriteBytes("design.ONL", ReadBytes(ZEDID_EXAMPLES "/worked.ONL"));
    EXPECT_EQ(CallExport("design", "/dev/full"), ZEDID_RESULT_ERRORS);
    EXPECT_EQ(TakeMessages(), worked);

    // A netlist larger than a block fails while the nets are written.
    WriteBytes("design.ONL", ManyNets(6000));
    EXPECT_EQ(CallExport("design", "/dev/full"), ZEDID_RESULT_ERRORS);
    Lines messages = TakeMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), OutputFailed), 1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Done"), 0);
}

// A tmpfs of a few pages, mounted inside the scratch folder and filled
// until it takes no byte more; unmounted when the test ends.
class FullFileSystem {
public:
    explicit FullFileSystem(const fs::path& where) : path_(where) {
#if defined(__linux__)
        fs::create_directory(path_);
        if (mount("zedid-test", path_.c_str(), "tmpfs", 0, "size=16k,mode=0777") != 0) {
            reason_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
        std::FILE* filler = std::fopen((path_ / "filler").c_str(), "wb");
        if (filler == nullptr) {
            reason_ = "cannot fill the tmpfs";
            return;
        }
        std::setvbuf(filler, nullptr, _IONBF, 0);
        const std::string block(512, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
        }
        std::fclose(filler);
#else
        reason_ = "mounting a tmpfs needs Linux";
#endif
    }
    ~FullFileSystem() {
#if defined(__linux__)
        if (mounted_) umount2(path_.c_str(), MNT_DETACH);
#endif
    }
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;
    const std::string& Unusable() const { return reason_; }  // "" when mounted and full

private:
    fs::path path_;
    bool mounted_ = false;
    std::string reason_;
};

TEST_F(WriteFailure, OutputOnAFullFileSystem) {
    // Once a netlist cut off without *END*, with result 0.
    FullFileSystem full(scratch_.Path() / "full");
    if (!full.Unusable().empty()) GTEST_SKIP() << full.Unusable();
    WriteBytes("design.ONL", ManyNets(300));
    EXPECT_EQ(CallExport("design", "full/out.asc"), ZEDID_RESULT_ERRORS);
    Lines messages = TakeMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), OutputFailed), 1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Done"), 0);
}

TEST_F(WriteFailure, CurrentFolderOnAFullFileSystem) {
    // The temporary file lies in the current folder: once the netlist
    // elsewhere ended in *END* without its nets with a trace width, and
    // the result was 0.
    FullFileSystem full(scratch_.Path() / "full");
    if (!full.Unusable().empty()) GTEST_SKIP() << full.Unusable();
    WriteBytes("design.ONL", ManyNets(300));
    const std::string base = (scratch_.Path() / "design").string();
    const std::string output = (scratch_.Path() / "out.asc").string();
    fs::current_path("full");
    int result = CallExport(base.c_str(), output.c_str());
    bool leftover = FileExists("ZEDID.TMP");
    fs::current_path(scratch_.Path());
    EXPECT_EQ(result, ZEDID_RESULT_ERRORS);
    EXPECT_FALSE(leftover);
    Lines messages = TakeMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), TemporaryFailed), 1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Done"), 0);
}

}  // namespace
