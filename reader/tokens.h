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
// Reads the next three tokens when they are a connection written the usual
// way, a reference and a pin number of plain characters joined by "-"
// (U1-14): the reference into REFERENCE, the number into NUMBER (TokenSize
// bytes each), exactly as three calls of ReadToken would give them; 1. Else
// 0, and the next token is where it was for ReadToken to take.
int ReadConnectionTokens(TextFile* file, char* reference, char* number);
// Reads on until the group open at the call is closed (or the file ends).
void SkipGroup(TextFile* file);
