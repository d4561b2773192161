// The token reader: splitting, escapes, quoted text, long lines and the end
// of the file, read through the platform's text mode.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "reader/tokens.h"
#include "support.h"

namespace {

using Tokens = std::vector<std::string>;

class TokenReader : public ::testing::Test {
protected:
    void TearDown() override { CloseTextFile(file_); }

    // Writes BYTES as the file to read and starts the reader on it.
    void Open(const std::string& bytes) {
        CloseTextFile(file_);
        WriteBytes("tokens.ONL", bytes);
        file_ = OpenTextFile("tokens.ONL", "rt");
        ASSERT_NE(file_, nullptr);
        StartTokenReader(file_);
    }

    // The next token, read into a buffer of exactly TokenSize bytes so that
    // a write past it is caught; "<end>" when the file has ended.
    std::string Next() {
        std::vector<char> buffer(TokenSize, '#');
        if (!ReadToken(file_, buffer.data())) {
            EXPECT_EQ(buffer[0], '\0') << "the token at the end of the file must be empty";
            return "<end>";
        }
        return std::string(buffer.data());
    }

    // Every token of BYTES up to the end of the file.
    Tokens All(const std::string& bytes) {
        Open(bytes);
        Tokens tokens;
        for (std::string token = Next(); token != "<end>"; token = Next()) tokens.push_back(token);
        return tokens;
    }

    TextFile* file_ = nullptr;
    ScratchDirectory scratch_;
};

TEST_F(TokenReader, SplitsTextIntoTokens) {
    struct Row {
        std::string bytes;
        Tokens tokens;
    } rows[] = {
        {"(pcb", {"(", "pcb"}},
        {"))", {")", ")"}},
        {"(pcb (placement))", {"(", "pcb", "(", "placement", ")", ")"}},
        {"U1-14", {"U1", "-", "14"}},
        {"-5", {"-", "5"}},
        {"a)b", {"a", ")", "b"}},
        {"--", {"-", "-"}},
        {"abc(def", {"abc(", "def"}},
        {"((", {"(", "("}},
        {"A\\-B", {"A-B"}},
        {"a\\nb", {"anb"}},
        {"\\ x\\(\\)", {" x()"}},
        {"a\\\\b", {"a\\b"}},
        {"\"a-b (c) d\"", {"a-b (c) d"}},
        {"ab\"c d\"ef", {"abc d", "ef"}},
        {"\"a\\\"b\\\\c\"", {"a\"b\\c"}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"(\"", {"("}},
        {"\"open text\nnext", {"open text\n", "next"}},
        {"\"open\\\nnext", {"open\n", "next"}},
        {"a\\\nb", {"a\n", "b"}},
        {"a\\", {"a"}},
        {"x\ry z", {"x\ry", "z"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"\n \t \n\t(a)\n\n", {"(", "a", ")"}},
        {"x y", {"x", "y"}},
        {std::string("ab\0cd\nef", 8), {"ab", "ef"}},
        {std::string("\"ab\0cd\"\nef", 10), {"ab", "ef"}},
        {"a b\x1a c", {"a", "b"}},
        {"", {}},
        {"  \n\t\n", {}},
    };
    for (const Row& row : rows) EXPECT_EQ(All(row.bytes), row.tokens) << ::testing::PrintToString(row.bytes);
}

TEST_F(TokenReader, LongLinesArriveInPieces) {
    std::string blanks(1020, ' ');
    struct Row {
        std::string bytes;
        Tokens tokens;
    } rows[] = {
        // 1,100 characters: the word straddling character 1,023 splits.
        {blanks + "abcdef" + std::string(74, ' ') + "\n", {"abc", "def"}},
        // Quoted text ends at the boundary; its closing quote opens another.
        {blanks + "\"abcdef\" z", {"ab", "cdef z"}},
        {blanks + "ab\\cd\n", {"ab", "cd"}},
        {blanks + "abc\ndef", {"abc", "def"}},
    };
    for (const Row& row : rows) EXPECT_EQ(All(row.bytes), row.tokens) << row.tokens.front();
}

TEST_F(TokenReader, LongTokensAreCutAndTheRestConsumed) {
    std::string a300(300, 'a');
    std::string a255(255, 'a');
    struct Row {
        std::string bytes;
        Tokens tokens;
    } rows[] = {
        {a300 + " y", {a255, "y"}},
        {a300 + ")", {a255, ")"}},
        {"\"" + a300 + " b\"c", {a255, "c"}},
        {"\"" + a300, {a255}},
        {std::string(600, '\\'), {std::string(255, '\\')}},
    };
    for (const Row& row : rows) EXPECT_EQ(All(row.bytes), row.tokens) << row.bytes.substr(0, 3);
}

TEST_F(TokenReader, EndOfFileKeepsGivingZero) {
    Open("last");
    EXPECT_EQ(Next(), "last");
    EXPECT_EQ(Next(), "<end>");
    EXPECT_EQ(Next(), "<end>");
    EXPECT_EQ(Next(), "<end>");
    Open("");
    EXPECT_EQ(Next(), "<end>");
    EXPECT_EQ(Next(), "<end>");
}

TEST_F(TokenReader, SkipGroupClosesTheOpenGroup) {
    struct Row {
        std::string bytes;  // read from just after a group's "(" and first word
        std::string next;   // the first token after SkipGroup
    } rows[] = {
        {"a (b c) d) e", "e"},
        {") e", "e"},
        {"(((x))) y) z", "z"},
        {"abc( x) ) y", ")"},
        {"\"(\" ) ) z", "z"},
        {"\")\" ) z", ")"},
        {"(x (y", "<end>"},
    };
    for (const Row& row : rows) {
        Open(row.bytes);
        SkipGroup(file_);
        EXPECT_EQ(Next(), row.next) << row.bytes;
    }
}

}  // namespace
