// The token reader: one line of the intermediate file in memory and a cursor
// into it. Knows parentheses, "-", words, escapes and quoted text, nothing of
// keywords or nesting.
#include "reader/tokens.h"

#include <array>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"

namespace {

struct TokenReaderState {
    char line[LineLimit + 1];  // current line or piece of one, terminated
    int cursor;                // next character of line to examine
    bool ended;                // the file has given its last line
};

TokenReaderState Reader = {};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A zero byte ends the line as its terminator does: what follows it in the
// buffer is never looked at.
bool IsLineEnd(char c) { return c == '\n' || c == '\0'; }

void LoadLine(TextFile* file) {
    Reader.cursor = 0;
    if (!ReadTextLine(file, Reader.line, LineLimit + 1)) {
        Reader.line[0] = '\0';
        Reader.ended = true;
    }
}

// The token being built: characters past TokenLimit are dropped, while the
// reader goes on consuming them by the usual rules.
struct TokenText {
    char* text;
    int length;
};

void Append(TokenText& token, char c) {
    if (token.length < TokenLimit) token.text[token.length++] = c;
}

// Takes the character after a backslash into C, whatever it is: there are
// no escape letters. False at the end of the text or of a piece, which is
// not a character and ends the token.
bool TakeEscaped(char& c) {
    c = Reader.line[Reader.cursor];
    if (c == '\0') return false;
    Reader.cursor++;
    return true;
}

// Reads quoted text after its opening quote into TOKEN; the closing quote,
// or the line end for text left open, ends the token.
void ReadQuoted(TokenText& token) {
    for (;;) {
        char c = Reader.line[Reader.cursor];
        if (c == '\0') return;
        Reader.cursor++;
        if (c == '"') return;
        if (c == '\n') {
            Append(token, c);
            return;
        }
        if (c == '\\' && !TakeEscaped(c)) return;
        Append(token, c);
    }
}

// Characters that a word takes as they stand: not the line's end, a blank,
// a parenthesis, "-", a quote or a backslash.
constexpr auto PlainCharacters = [] {
    std::array<bool, ByteValues> plain{};
    for (int c = 0; c < ByteValues; c++) plain[static_cast<std::size_t>(c)] = true;
    for (unsigned char c : {'\0', '\n', ' ', '\t', '(', ')', '-', '"', '\\'}) plain[c] = false;
    return plain;
}();

bool IsPlain(char c) { return PlainCharacters[static_cast<unsigned char>(c)]; }

// Copies the run of plain characters at LINE + CURSOR into TEXT after its
// LENGTH characters, up to TokenLimit, and moves CURSOR past what it took;
// gives the new length. The reader's hottest loop: its callers hand it
// local copies of the line and cursor, which stay in registers.
inline int CopyPlainRun(const char* line, int& cursor, char* text, int length) {
    while (length < TokenLimit && IsPlain(line[cursor])) text[length++] = line[cursor++];
    return length;
}

// Reads the token whose first character is under the cursor.
void ReadWord(TokenText& token) {
    for (;;) {
        // A run of plain characters is taken at once (cut at TokenLimit);
        // the character after it goes through the rules below.
        const char* line = Reader.line;
        int cursor = Reader.cursor;
        token.length = CopyPlainRun(line, cursor, token.text, token.length);
        while (IsPlain(line[cursor])) cursor++;
        Reader.cursor = cursor;
        char c = line[cursor];
        if (IsLineEnd(c) || IsBlank(c)) return;
        if (c == ')' || c == '-') {
            if (token.length == 0) {
                Append(token, c);
                Reader.cursor++;
            }
            return;
        }
        Reader.cursor++;
        if (c == '(') {
            // Glued to a preceding word it ends that word: abc( is one token.
            Append(token, c);
            return;
        }
        if (c == '"') {
            ReadQuoted(token);
            return;
        }
        if (c == '\\' && !TakeEscaped(c)) return;
        Append(token, c);
    }
}

// Moves the cursor past blanks and ended lines to the next token; false at
// the end of the file.
inline bool SkipToToken(TextFile* file) {
    const char* line = Reader.line;
    int cursor = Reader.cursor;
    // Most tokens follow a blank or two on the same line.
    while (IsBlank(line[cursor])) cursor++;
    if (!IsLineEnd(line[cursor])) {
        Reader.cursor = cursor;
        return true;
    }
    for (;;) {
        while (IsBlank(line[cursor])) cursor++;
        Reader.cursor = cursor;
        if (!IsLineEnd(line[cursor])) return true;
        if (Reader.ended) return false;
        LoadLine(file);
        if (Reader.ended) return false;
        cursor = Reader.cursor;
    }
}

// Whether a token of plain characters that ends at C is whole as it
// stands: the line's end, a blank, ")" or "-" end it without being part of
// it.
bool EndsPlainToken(char c) { return IsLineEnd(c) || IsBlank(c) || c == ')' || c == '-'; }

}  // namespace

void StartTokenReader(TextFile* file) {
    Reader.ended = false;
    LoadLine(file);
}

int ReadToken(TextFile* file, char* token) {
    if (!SkipToToken(file)) {
        token[0] = '\0';
        return 0;
    }
    const char* line = Reader.line;
    int cursor = Reader.cursor;
    // Nearly every token is a run of plain characters that the line's end,
    // a blank, ")" or "-" ends: it is taken here, in one loop over local
    // copies; anything else goes on through the rules of ReadWord.
    int length = CopyPlainRun(line, cursor, token, 0);
    char c = line[cursor];
    // So is a parenthesis or a dash on its own, as ReadWord would take it.
    if (length == 0 && (c == '(' || c == ')' || c == '-')) {
        Reader.cursor = cursor + 1;
        token[0] = c;
        token[1] = '\0';
        return 1;
    }
    Reader.cursor = cursor;
    if (length == 0 || length == TokenLimit || !EndsPlainToken(c)) {
        TokenText text = {token, length};
        ReadWord(text);
        length = text.length;
    }
    token[length] = '\0';
    return 1;
}

int ReadConnectionTokens(TextFile* file, char* reference, char* number) {
    if (!SkipToToken(file)) return 0;
    // Both are copied as they are scanned: the buffers are the caller's
    // to write, whatever the answer.
    const char* line = Reader.line;
    int cursor = Reader.cursor;
    // The reference: plain characters up to the dash, which ends it whole.
    int length = CopyPlainRun(line, cursor, reference, 0);
    if (length == 0 || length == TokenLimit || line[cursor] != '-') return 0;
    reference[length] = '\0';
    // The number straight after the dash (ReadToken would pass blanks there,
    // which the usual way never has), ended as ReadToken ends a plain token.
    int next = cursor + 1;
    length = CopyPlainRun(line, next, number, 0);
    if (length == 0 || length == TokenLimit || !EndsPlainToken(line[next])) return 0;
    number[length] = '\0';
    Reader.cursor = next;
    return 1;
}

void SkipGroup(TextFile* file) {
    char token[TokenSize];
    int depth = 1;
    while (ReadToken(file, token)) {
        if (std::strcmp(token, "(") == 0)
            depth++;
        else if (std::strcmp(token, ")") == 0 && --depth == 0)
            return;
    }
}
