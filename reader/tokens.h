// The token reader: cuts the intermediate file into "(", ")", "-" and words.
#pragma once

struct TextFile;

// A line of the file is taken in pieces of at most this many characters.
constexpr int LineLimit = 1023;
// Every token buffer has this many bytes: 255 characters and the terminator.
constexpr int TokenSize = 256;
constexpr int TokenLimit = TokenSize - 1;

// Loads the first line of FILE; the reader then starts at its beginning.
void StartTokenReader(TextFile* file);
// Reads the next token into TOKEN (TokenSize bytes); 1, or 0 at the end of
// the file with an empty token. Longer tokens are cut to TokenLimit.
int ReadToken(TextFile* file, char* token);
// Reads on until the group open at the call is closed (or the file ends).
void SkipGroup(TextFile* file);
