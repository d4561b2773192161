// Text-mode files, message lookup and the message formatter.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "resources/messages.h"
#include "support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::string ReadAllPieces(const char* name, int size) {
    TextFile* file = OpenTextFile(name, "rt");
    EXPECT_NE(file, nullptr);
    std::string all;
    char piece[1100];
    while (ReadTextLine(file, piece, size)) all += std::string(piece) + "|";
    CloseTextFile(file);
    return all;
}

TEST(TextFiles, WrittenLineFeedIsStoredAsCarriageReturnLineFeed) {
    ScratchDirectory scratch;
    TextFile* file = OpenTextFile("out.txt", "wt");
    ASSERT_NE(file, nullptr);
    WriteTextFile(file, "a\nb\r\n\nc");
    CloseTextFile(file);
    EXPECT_EQ(ReadBytes("out.txt"), "a\r\nb\r\r\n\r\nc");
}

TEST(TextFiles, ReadingFollowsTextModeRules) {
    ScratchDirectory scratch;
    struct Row {
        const char* bytes;
        const char* pieces;  // each line read, followed by "|"
    } rows[] = {
        {"a\r\nb\r\n", "a\n|b\n|"},
        {"lone\rcr\n", "lone\rcr\n|"},
        {"end\r", "end\r|"},
        {"\r\r\n", "\r\n|"},
        {"one\ntwo", "one\n|two|"},
        {"before\x1a" "after\n", "before|"},
        {"\x1a", ""},
        {"", ""},
    };
    for (const Row& row : rows) {
        WriteBytes("in.txt", row.bytes);
        EXPECT_EQ(ReadAllPieces("in.txt", 1024), row.pieces) << "bytes: " << row.bytes;
    }
}

TEST(TextFiles, LineReadStopsAtItsLimitLikeTheRuntime) {
    ScratchDirectory scratch;
    WriteBytes("in.txt", "abcdefg\r\nhi\n");
    EXPECT_EQ(ReadAllPieces("in.txt", 4), "abc|def|g\n|hi\n|");
}

TEST(TextFiles, CarriageReturnAtBlockBoundaryStillPairs) {
    ScratchDirectory scratch;
    std::string bytes(64 * 1024 - 1, 'x');
    bytes += "\r\nz";
    WriteBytes("in.txt", bytes);
    TextFile* file = OpenTextFile("in.txt", "rt");
    ASSERT_NE(file, nullptr);
    std::string all;
    static char piece[70000];
    while (ReadTextLine(file, piece, sizeof piece)) all += piece;
    CloseTextFile(file);
    EXPECT_EQ(all, std::string(64 * 1024 - 1, 'x') + "\nz");
}

// The text-mode rules one character at a time: CR LF is one line feed
// (also across any boundary), a lone CR stays, Ctrl+Z ends the file. The
// pieces a line read of SIZE gives, each followed by "|".
std::string ReadPiecesByCharacter(const std::string& bytes, int size) {
    std::string all;
    std::string piece;
    std::size_t at = 0;
    bool ended = false;
    for (;;) {
        piece.clear();
        while (static_cast<int>(piece.size()) < size - 1 && !ended) {
            if (at == bytes.size() || bytes[at] == '\x1a') {
                ended = true;
                break;
            }
            char c = bytes[at++];
            if (c == '\r' && at < bytes.size() && bytes[at] == '\n') c = bytes[at++];
            piece += c;
            if (c == '\n') break;
        }
        if (piece.empty()) return all;
        all += piece + "|";
    }
}

// Files of lines and of runs with CR, LF and Ctrl+Z anywhere, around the
// 64 KB blocks the reader takes, read with short and long limits.
TEST(TextFiles, LineReadsMatchTheRulesCharacterByCharacter) {
    ScratchDirectory scratch;
    std::mt19937 random(7);
    const char special[] = {'\r', '\n', '\r', '\n', '\x1a', 'a', ' '};
    for (int round = 0; round < 40; round++) {
        std::size_t length = 64 * 1024 - 3 + random() % (round < 20 ? 8 : 200000);
        std::string bytes(length, 'x');
        for (char& c : bytes) {
            unsigned roll = random() % 100;
            if (roll < 8) c = special[random() % (round % 4 == 0 ? 7 : 4)];
        }
        // A CR LF split by the reader's 64 KB blocks.
        if (round % 3 == 0 && bytes.size() > 64 * 1024) {
            bytes[64 * 1024 - 1] = '\r';
            bytes[64 * 1024] = '\n';
        }
        WriteBytes("in.txt", bytes);
        for (int size : {2, 3, 17, 1024}) {
            ASSERT_EQ(ReadAllPieces("in.txt", size), ReadPiecesByCharacter(bytes, size))
                << "round " << round << ", size " << size;
        }
    }
}

// Output longer than the writer's block, in pieces of every kind, arrives
// whole and in order.
TEST(TextFiles, LongOutputIsWrittenWholeAndInOrder) {
    ScratchDirectory scratch;
    TextFile* file = OpenTextFile("out.txt", "wt");
    ASSERT_NE(file, nullptr);
    std::string expected;
    std::string big(150000, 'b');
    for (int i = 0; i < 3000; i++) {
        std::string text = "line " + std::to_string(i) + (i % 7 == 0 ? "\n\n" : i % 3 == 0 ? "" : "\n");
        if (i % 1000 == 999) text += big;
        WriteTextFile(file, text.c_str());
        for (char c : text) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    CloseTextFile(file);
    EXPECT_EQ(ReadBytes("out.txt"), expected);
}

// A text is copied into the writer's 64 KB block as it is scanned: a text
// that ends, or meets a line feed, exactly where the block fills, or just
// before or after, still arrives whole with its line ends.
TEST(TextFiles, TextsMeetingTheBlockEndArriveWhole) {
    const int block = 64 * 1024;
    for (int fill = block - 3; fill <= block + 2; fill++) {
        for (const char* tail : {"", "x", "\n", "\nx", "x\n", "xy\nz\n\n"}) {
            ScratchDirectory scratch;
            TextFile* file = OpenTextFile("out.txt", "wt");
            ASSERT_NE(file, nullptr);
            std::string head(static_cast<std::size_t>(fill), 'a');
            EXPECT_EQ(WriteTextFile(file, head.c_str()), 1);
            EXPECT_EQ(WriteTextFile(file, tail), 1);
            EXPECT_EQ(WriteTextFile(file, "end"), 1);
            EXPECT_EQ(CloseTextFile(file), 1);
            std::string expected = head;
            for (const char* c = tail; *c != '\0'; c++) expected += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
            expected += "end";
            EXPECT_EQ(ReadBytes("out.txt"), expected) << "fill " << fill << ", tail \"" << tail << "\"";
        }
    }
}

TEST(TextFiles, MissingFileAndDirectoryCannotBeOpenedForReading) {
    ScratchDirectory scratch;
    EXPECT_EQ(OpenTextFile("missing.txt", "rt"), nullptr);
    EXPECT_EQ(OpenTextFile(".", "rt"), nullptr);
    EXPECT_EQ(OpenTextFile(nullptr, "rt"), nullptr);
}

TEST(TextFiles, AbsentFileOrModeIsRefusedAlike) {
    ScratchDirectory scratch;
    EXPECT_EQ(OpenTextFile("out.txt", nullptr), nullptr);
    EXPECT_FALSE(FileExists("out.txt"));
    char store[8] = "stale";
    EXPECT_EQ(ReadTextLine(nullptr, store, sizeof store), 0);
    EXPECT_STREQ(store, "");
    EXPECT_EQ(WriteTextFile(nullptr, "dropped"), 0);  // nothing to write to, and no fault
}

#if !defined(_WIN32)
TEST(TextFiles, CloseThatTheSystemRefusesIsAFailure) {
    ScratchDirectory scratch;
    // The file takes the lowest free descriptor, which the probe finds.
    int probe = open("/dev/null", O_RDONLY);
    ASSERT_GE(probe, 0);
    close(probe);
    TextFile* file = OpenTextFile("out.txt", "wt");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteTextFile(file, "whole\n"), 1);
    EXPECT_EQ(FlushTextFile(file), 1);
    // Everything reached the system; only the close can still fail.
    ASSERT_EQ(close(probe), 0);
    EXPECT_EQ(CloseTextFile(file), 0);
}
#endif

TEST(TextFiles, TemporaryFileIsReadBackThroughItsHandleAndLeavesNothing) {
    ScratchDirectory scratch;
    WriteBytes("TMP", "stale");
    TextFile* file = CreateTemporaryFile("TMP");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(WriteTextFile(file, "one\ntwo\n"), 1);
    for (int pass = 0; pass < 2; pass++) {
        ASSERT_EQ(RewindTextFile(file), 1);
        char piece[64];
        std::string all;
        while (ReadTextLine(file, piece, sizeof piece)) all += piece;
        EXPECT_EQ(all, "one\ntwo\n") << "pass " << pass;
        EXPECT_EQ(TextFileReadFailed(file), 0);
    }
    EXPECT_EQ(WriteTextFile(file, "late"), 0);  // a reading file takes nothing
    EXPECT_EQ(CloseTextFile(file), 1);
    EXPECT_FALSE(FileExists("TMP"));
    // A folder of that name is nobody's stale file: it is refused, and kept.
    std::filesystem::create_directory("TMP");
    EXPECT_EQ(CreateTemporaryFile("TMP"), nullptr);
    EXPECT_TRUE(std::filesystem::is_directory("TMP"));
}

TEST(TextFiles, FailedWriteIsReportedAndSticks) {
    ScratchDirectory scratch;
    TextFile* file = OpenTextFile("out.txt", "wt");
    ASSERT_NE(file, nullptr);
    SetWriteFailure(0);
    // Wherever the failing hand-over falls, the file reports it and then
    // takes nothing more, its close included.
    int written = 1;
    for (int i = 0; i < 20000 && written; i++) written = WriteTextFile(file, "0123456789\n");
    if (written) written = FlushTextFile(file);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(WriteTextFile(file, "more"), 0);
    EXPECT_EQ(FlushTextFile(file), 0);
    EXPECT_EQ(CloseTextFile(file), 0);
    EXPECT_EQ(SetWriteFailure(-1), 2);  // the failed write and the close: nothing tried between
}

TEST(Messages, EveryIdLoadsItsText) {
    char store[MessageTextSize];
    // The ids hosts know, and the two of failed writes: each text opens with
    // the code of its id, but for 17, whose code has always been FMT0004.
    std::vector<int> ids = {1, 3, 25, 26};
    for (int id = 8; id <= 24; id++) ids.push_back(id);
    for (int id : ids) {
        int length = LoadMessageText(nullptr, id, store, MessageTextSize - 1);
        EXPECT_EQ(length, static_cast<int>(std::strlen(store))) << id;
        std::string code = std::to_string(id == 17 ? 4 : id);
        EXPECT_EQ(std::string(store).rfind("[FMT" + std::string(4 - code.size(), '0') + code + "] ", 0), 0u) << store;
    }
    for (int missing : {0, 2, 4, 5, 6, 7, 29, -1}) {
        EXPECT_EQ(LoadMessageText(nullptr, missing, store, MessageTextSize), 0);
        EXPECT_STREQ(store, "");
    }
}

TEST(Messages, TableHoldsTheExactTexts) {
    char store[MessageTextSize];
    LoadMessageText(nullptr, 17, store, sizeof store);
    EXPECT_STREQ(store,
                 "[FMT0004] Duplicate Ref-Des %s. Possibly a complex hierarchy in logical view, or incorrect "
                 "annotation in physical view.");
    LoadMessageText(nullptr, 9, store, sizeof store);
    EXPECT_STREQ(store, "[FMT0009] Internal error -- one or other file for concatentate not open");
    LoadMessageText(nullptr, 25, store, sizeof store);
    EXPECT_STREQ(store, "[FMT0025] Can't write output file");
    LoadMessageText(nullptr, 26, store, sizeof store);
    EXPECT_STREQ(store, "[FMT0026] Can't write temporary file");
}

TEST(Formatting, FillsIntegersAndTexts) {
    char store[64];
    FormatText(store, sizeof store, "%d Parts, %s, %d%%", -2147483647 - 1, "x", 0);
    EXPECT_STREQ(store, "-2147483648 Parts, x, 0%");
}

TEST(Formatting, OtherDirectivesAreCopiedAsTheyStand) {
#if defined(_WIN32)
    GTEST_SKIP() << "wsprintfA itself decides (it drops the '%'); only %d and %s ever reach it";
#endif
    char store[64];
    FormatText(store, sizeof store, "odd %q and %");
    EXPECT_STREQ(store, "odd %q and %");
}

TEST(Formatting, LongResultIsCutAtTheFormattersLimit) {
    // The host platform's formatter stops near 1,024 characters; whatever
    // it keeps, the length given is that of the text stored.
    static char store[FormattedTextSize];
    int length = FormatText(store, FormattedTextSize, "%s", std::string(2000, 'x').c_str());
    EXPECT_EQ(length, static_cast<int>(std::strlen(store)));
    EXPECT_GE(length, FormattedTextSize - 2);
    EXPECT_LE(length, FormattedTextSize - 1);
}

TEST(Formatting, NeverWritesPastItsStore) {
    char store[8];
    std::memset(store, '#', sizeof store);
    EXPECT_EQ(FormatText(store, 5, "%s-%d", "abcdef", 12), 4);
    EXPECT_STREQ(store, "abcd");
    EXPECT_EQ(store[5], '#');
}

TEST(Heap, ChosenAllocationFailsOnce) {
    SetAllocationFailure(1);
    void* first = AllocateMemory(8);
    void* second = AllocateMemory(8);
    void* third = AllocateMemory(8);
    EXPECT_EQ(SetAllocationFailure(-1), 3);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    ReleaseMemory(first);
    ReleaseMemory(third);
}

// Blocks from the system come zeroed, hold every byte asked for, and count
// with the heap's allocations for the test hook.
TEST(Heap, BlocksAreZeroedWholeAndCounted) {
    for (std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{64 * 1024 + 16}, std::size_t{3 << 20}}) {
        auto* block = static_cast<unsigned char*>(AllocateBlock(size));
        ASSERT_NE(block, nullptr) << size;
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(block[size / 2], 0);
        EXPECT_EQ(block[size - 1], 0);
        std::memset(block, 0xA5, size);
        ReleaseBlock(block, size);
    }
    EXPECT_EQ(AllocateBlock(0), nullptr);
    SetAllocationFailure(0);
    EXPECT_EQ(AllocateBlock(4096), nullptr);
    EXPECT_EQ(SetAllocationFailure(-1), 1);
    ReleaseBlock(nullptr, 4096);
}

}  // namespace
