// The message line, the file channels and their append.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/report.h"
#include "runtime/channels.h"
#include "support.h"

namespace {

using Lines = std::vector<std::string>;

// Connects the recording callback and leaves no channel state behind.
class Channels : public ConnectedTest {
protected:
};

TEST_F(Channels, MessageLineCollectsUpToItsLimit) {
    struct Row {
        int first, second;  // lengths written one after the other
        Lines sent;         // what the host has before EndLine
        Lines after;        // what EndLine adds
    } rows[] = {
        {120, 5, {}, {std::string(120, 'a') + std::string(5, 'b')}},
        {120, 6, {std::string(120, 'a')}, {std::string(6, 'b')}},
        {0, 125, {}, {std::string(125, 'b')}},
        {3, 125, {"aaa"}, {std::string(125, 'b')}},
        {0, 126, {std::string(126, 'b')}, {""}},
        {3, 200, {"aaa", std::string(200, 'b')}, {""}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WriteString(MessageChannel, std::string(row.first, 'a').c_str()), 1);
        EXPECT_EQ(WriteString(MessageChannel, std::string(row.second, 'b').c_str()), 1);
        EXPECT_EQ(TakeMessages(), row.sent) << row.first << " + " << row.second;
        EXPECT_EQ(EndLine(MessageChannel), 1);
        EXPECT_EQ(TakeMessages(), row.after) << row.first << " + " << row.second;
    }
}

TEST_F(Channels, EndLineOnEmptyLineSendsEmptyText) {
    EndLine(MessageChannel);
    EXPECT_EQ(TakeMessages(), Lines{""});
}

TEST_F(Channels, ReportedMessageOvertakesCollectedText) {
    WriteString(MessageChannel, "Creating");
    ReportMessage(21);
    EndLine(MessageChannel);
    EXPECT_EQ(TakeMessages(), (Lines{"[FMT0021] No parts in the design", "Creating"}));
}

TEST_F(Channels, IllegalChannelsAreReportedWithTheirNumber) {
    ASSERT_EQ(OpenChannelFile(FirstOutputChannel, "out.asc"), 1);
    for (int channel : {2, 4, -1, 3}) {
        EXPECT_EQ(WriteString(channel, "x"), 0);
        EXPECT_EQ(EndLine(channel), 0);
        std::string message = "[FMT0001] WriteString to illegal file " + std::to_string(channel);
        EXPECT_EQ(TakeMessages(), (Lines{message, message}));
    }
    CloseChannelFiles();
    EXPECT_EQ(ReadBytes("out.asc"), "");
}

TEST_F(Channels, FileChannelTakesTextUnchangedWithTextLineEnds) {
    ASSERT_EQ(OpenChannelFile(FirstOutputChannel, "out.asc"), 1);
    EXPECT_EQ(WriteString(FirstOutputChannel, "*PART*"), 1);
    EXPECT_EQ(EndLine(FirstOutputChannel), 1);
    EXPECT_EQ(WriteString(FirstOutputChannel, "no end"), 1);
    CloseChannelFiles();
    EXPECT_EQ(ReadBytes("out.asc"), "*PART*\r\nno end");
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Channels, ConcatenateRefusals) {
    EXPECT_EQ(ConcatenateChannel(1, 3), 0);  // neither open
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0009] Internal error -- one or other file for concatentate not open"});
    ASSERT_EQ(OpenChannelFile(FirstOutputChannel, "out.asc"), 1);
    EXPECT_EQ(ConcatenateChannel(1, 3), 0);
    EXPECT_EQ(TakeMessages().size(), 1u);
    for (auto pair : {std::pair<int, int>{0, 3}, {3, 0}, {1, 4}, {-1, 1}}) {
        EXPECT_EQ(ConcatenateChannel(pair.first, pair.second), 0);
        EXPECT_TRUE(TakeMessages().empty()) << pair.first << " <- " << pair.second;
    }
}

TEST_F(Channels, ConcatenateCopiesLongLinesUnchanged) {
    ASSERT_EQ(OpenChannelFile(FirstOutputChannel, "out.asc"), 1);
    ASSERT_EQ(OpenChannelFile(TemporaryChannel, "ZEDID.TMP"), 1);
    std::string longline(600, 'q');
    WriteString(FirstOutputChannel, "head\n");
    WriteString(TemporaryChannel, (longline + "\nlast\n").c_str());
    EXPECT_EQ(ConcatenateChannel(FirstOutputChannel, TemporaryChannel), 1);
    WriteString(FirstOutputChannel, "*END*\n");
    CloseChannelFiles();
    EXPECT_EQ(ReadBytes("out.asc"), "head\r\n" + longline + "\r\nlast\r\n*END*\r\n");
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Channels, ConcatenateReadsTheSourceThroughItsOwnHandle) {
    // Whatever happens to the name meanwhile, the text written is the text
    // appended: no folder, no name, or another file in its place.
    struct Row {
        const char* what;
        void (*meddle)();
    } rows[] = {
        {"folder removed", [] {
             std::error_code ignored;  // a folder with an open file in it stays on Windows
             std::filesystem::remove_all("tmpdir", ignored);
         }},
        {"name taken by another file", [] { WriteBytes("tmpdir/ZEDID.TMP", "*SIGNAL* FOREIGN\r\n"); }},
        {"nothing done", [] {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::create_directory("tmpdir");
        ASSERT_EQ(OpenChannelFile(FirstOutputChannel, "out.asc"), 1);
        ASSERT_EQ(OpenChannelFile(TemporaryChannel, "tmpdir/ZEDID.TMP"), 1);
        WriteString(TemporaryChannel, "*SIGNAL* OWN 20\n");
        row.meddle();
        EXPECT_EQ(ConcatenateChannel(FirstOutputChannel, TemporaryChannel), 1);
        EXPECT_EQ(CloseChannelFiles(), 1);
        EXPECT_EQ(ReadBytes("out.asc"), "*SIGNAL* OWN 20\r\n");
        EXPECT_TRUE(TakeMessages().empty());
        std::error_code ignored;
        std::filesystem::remove_all("tmpdir", ignored);
    }
}

}  // namespace
