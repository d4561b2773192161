// The token reader: splitting, escapes, quoted text, long lines and the end
// of the file, read through the platform's text mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "reader/tokens.h"
#include "support.h"

namespace {

using Tokens = std::vector<std::string>;

class TokenReader : public LibraryTest {
protected:
    void TearDown() override {
        CloseTextFile(file_);
        LibraryTest::TearDown();
    }

    // Writes BYTES as the file to read and starts the reader on it.
    void Open(const std::string& bytes) {
        CloseTextFile(file_);
        WriteBytes("tokens.ONL", bytes);
        file_ = OpenTextFile("tokens.ONL", "rt");
        ASSERT_NE(file_, nullptr);
        StartTokenReader(file_);
    }

    // The next token, read into TokenSize bytes followed by a guard that a
    // write past them would change; "<end>" when the file has ended.
    std::string Next() {
        constexpr std::size_t Guard = 16;
        std::vector<char> buffer(TokenSize + Guard, '#');
        int read = ReadToken(file_, buffer.data());
        EXPECT_EQ(std::string(buffer.end() - Guard, buffer.end()), std::string(Guard, '#')) << "written past the token";
        EXPECT_NE(std::memchr(buffer.data(), '\0', TokenSize), nullptr) << "no terminator within the token";
        if (!read) {
            EXPECT_EQ(buffer[0], '\0') << "the token at the end of the file must be empty";
            return "<end>";
        }
        return std::string(buffer.begin(), std::find(buffer.begin(), buffer.begin() + TokenSize, '\0'));
    }

    // Every token of BYTES up to the end of the file.
    Tokens All(const std::string& bytes) {
        Open(bytes);
        Tokens tokens;
        for (std::string token = Next(); token != "<end>"; token = Next()) tokens.push_back(token);
        return tokens;
    }

    TextFile* file_ = nullptr;
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
        // Words of exactly the limit, and one short of it, ended every way.
        {a255, {a255}},
        {a255 + " y", {a255, "y"}},
        {a255 + ")", {a255, ")"}},
        {a255 + "-1", {a255, "-", "1"}},
        {a255 + "(", {a255}},
        {a255 + "\\b", {a255}},
        {a255.substr(1) + "(", {a255.substr(1) + "("}},
        {a255.substr(1) + "\\b", {a255.substr(1) + "b"}},
    };
    for (const Row& row : rows) EXPECT_EQ(All(row.bytes), row.tokens) << row.bytes.substr(0, 3);
}

// The word rules one character at a time over lines that end in a line
// feed and fit a piece: the tokens of TEXT.
Tokens TokensByCharacter(const std::string& text) {
    Tokens tokens;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        start = end;
        std::size_t at = 0;
        auto peek = [&line, &at] { return at < line.size() ? line[at] : '\0'; };
        for (;;) {
            while (peek() == ' ' || peek() == '\t') at++;
            if (peek() == '\n' || peek() == '\0') break;
            std::string token;
            auto append = [&token](char c) {
                if (static_cast<int>(token.size()) < TokenLimit) token += c;
            };
            for (bool done = false; !done;) {
                char c = peek();
                if (c == '\n' || c == '\0' || c == ' ' || c == '\t') break;
                if (c == ')' || c == '-') {
                    if (token.empty()) {
                        append(c);
                        at++;
                    }
                    break;
                }
                at++;
                if (c == '(') {
                    append(c);
                    break;
                }
                if (c == '"') {
                    for (;;) {
                        char q = peek();
                        if (q == '\0') break;
                        at++;
                        if (q == '"') break;
                        if (q == '\n') {
                            append(q);
                            break;
                        }
                        if (q == '\\') {
                            q = peek();
                            if (q == '\0') break;
                            at++;
                        }
                        append(q);
                    }
                    done = true;
                    continue;
                }
                if (c == '\\') {
                    c = peek();
                    if (c == '\0') break;
                    at++;
                }
                append(c);
            }
            tokens.push_back(token);
        }
    }
    return tokens;
}

// Random lines of words, long runs, escapes, quotes and separators read as
// the character-by-character rules read them.
TEST_F(TokenReader, RandomLinesSplitAsTheRulesSay) {
    std::mt19937 random(11);
    const std::string pieces[] = {"a", "Zq", "(", ")", "-", " ", "\t", "\"", "\\", "\\\"", "x\\",
                                  "\xe9", "7", std::string(300, 'w'), std::string(250, 'v') + "\\-u"};
    for (int round = 0; round < 300; round++) {
        std::string text;
        for (int line = 0; line < 6; line++) {
            std::string current;
            int count = static_cast<int>(random() % 40);
            for (int i = 0; i < count; i++) {
                const std::string& piece = pieces[random() % (sizeof pieces / sizeof pieces[0])];
                if (current.size() + piece.size() >= static_cast<std::size_t>(LineLimit)) break;
                current += piece;
            }
            text += current + "\n";
        }
        ASSERT_EQ(All(text), TokensByCharacter(text)) << "round " << round << ": " << text;
    }
}

// A connection written the usual way is taken in one call, as three calls
// of ReadToken would take it; anything else is left where it was.
TEST_F(TokenReader, ConnectionsTakenWholeReadAsThreeTokens) {
    // Every token of BYTES, taking a connection whole wherever one stands.
    auto tokens = [this](const std::string& bytes, int* whole) {
        Open(bytes);
        Tokens read;
        *whole = 0;
        for (;;) {
            std::vector<char> reference(TokenSize, '#'), number(TokenSize, '#');
            if (ReadConnectionTokens(file_, reference.data(), number.data())) {
                ++*whole;
                read.insert(read.end(), {reference.data(), "-", number.data()});
                continue;
            }
            std::string token = Next();
            if (token == "<end>") return read;
            read.push_back(token);
        }
    };
    const std::string long254(254, 'R'), long255(255, 'R');
    struct Row {
        std::string bytes;
        int whole;  // connections taken in one call
    } rows[] = {
        {"U1-14", 1},         {"  U1-14 R2-1)", 2},  {"(pins U1-14\n\tR2-1\n)", 2},
        {"U1 -14", 0},        {"U1- 14", 0},         {"U1-14-2", 1},
        {"U1-\n14", 0},      {"-14", 0},            {"U1--2", 0},
        {"U1-\"14\"", 0},   {"U1-1\\4", 0},      {"U\\1-14", 0},
        {"U1-14(", 0},        {"U1-14\"", 0},       {long254 + "-1", 1},
        {long255 + "-1", 0},  {"U1-" + long255, 0},  {"U1-" + long254, 1},
        {"", 0},              {"\n\n U1-2\n", 1},
    };
    for (const Row& row : rows) {
        int whole = 0;
        EXPECT_EQ(tokens(row.bytes, &whole), All(row.bytes)) << row.bytes;
        EXPECT_EQ(whole, row.whole) << row.bytes;
    }
    // And random text of connection-like pieces, in lines of any length.
    std::mt19937 random(7);
    const std::string pieces[] = {"U1", "-", "14", " ", "\t", "(", ")", "\"", "\\", "R", "\n", long254, "x-y-z"};
    for (int round = 0; round < 300; round++) {
        std::string text;
        int count = static_cast<int>(random() % 60);
        for (int i = 0; i < count; i++) text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        int whole = 0;
        ASSERT_EQ(tokens(text, &whole), All(text)) << "round " << round << ": " << text;
    }
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
