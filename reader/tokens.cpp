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

// Reads the token whose first character is under the cursor.
void ReadWord(TokenText& token) {
    for (;;) {
        // A run of plain characters is taken at once (cut at TokenLimit);
        // the character after it goes through the rules below.
        const char* line = Reader.line;
        int cursor = Reader.cursor;
        int length = token.length;
        while (length < TokenLimit && IsPlain(line[cursor])) token.text[length++] = line[cursor++];
        while (IsPlain(line[cursor])) cursor++;
        token.length = length;
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

}  // namespace

void StartTokenReader(TextFile* file) {
    Reader.ended = false;
    LoadLine(file);
}

int ReadToken(TextFile* file, char* token) {
    const char* line = Reader.line;
    int cursor = Reader.cursor;
    for (;;) {
        while (IsBlank(line[cursor])) cursor++;
        if (!IsLineEnd(line[cursor])) break;
        Reader.cursor = cursor;
        token[0] = '\0';
        if (Reader.ended) return 0;
        LoadLine(file);
        if (Reader.ended) return 0;
        cursor = Reader.cursor;
    }
    // Nearly every token is a run of plain characters that the line's end,
    // a blank, ")" or "-" ends: it is taken here, in one loop over local
    // copies; anything else goes on through the rules of ReadWord.
    int length = 0;
    while (length < TokenLimit && IsPlain(line[cursor])) token[length++] = line[cursor++];
    char c = line[cursor];
    // So is a parenthesis or a dash on its own, as ReadWord would take it.
    if (length == 0 && (c == '(' || c == ')' || c == '-')) {
        Reader.cursor = cursor + 1;
        token[0] = c;
        token[1] = '\0';
        return 1;
    }
    Reader.cursor = cursor;
    if (length == 0 || length == TokenLimit || !(IsLineEnd(c) || IsBlank(c) || c == ')' || c == '-')) {
        TokenText text = {token, length};
        ReadWord(text);
        length = text.length;
    }
    token[length] = '\0';
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
