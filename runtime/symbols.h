// The user symbol store: up to 40 named symbols (indexes 100 to 139) whose
// values a format program sets and reads, with the integer width and the
// legal-character set that printing and checking use.
#pragma once

#include <cstdint>

#include "reader/tokens.h"

constexpr int FirstSymbol = 100;   // index of user symbol 0
constexpr int SymbolLimit = 40;    // entries of the symbol table
constexpr int PresetSymbols = 2;   // ExitType and LocalSignal
constexpr int ExitTypeSymbol = 100;
constexpr int LocalSignalSymbol = 101;

// A symbol buffer grows in steps of this many bytes and never shrinks; its
// capacity is a signed 16-bit count, so no buffer exceeds SymbolTextLimit.
constexpr int SymbolTextStep = 8;
constexpr int SymbolTextLimit = 32760;

// Integers are printed with at most this many characters, zeros included:
// what one token of the file can hold.
constexpr int IntegerTextLimit = TokenLimit;

struct UserSymbol {
    const char* name;   // preset constant, or an owned copy from RegisterSymbol
    const char* value;  // EmptyText, or the owned buffer when capacity > 0
    int16_t capacity;   // bytes in the owned buffer, a multiple of 8; 0: none
};

// Minimum digit count of printed integers; 1 at run start.
void SetIntegerWidth(int32_t width);
// Writes VALUE in decimal into TARGET of SIZE bytes, zeros in front (of a
// minus sign too) up to the integer width; never past SIZE - 1 characters.
void FormatInteger(char* target, int size, int32_t value);
// Replaces the legal-character set with the characters of SET; 0.
int SetLegalCharacters(const char* set);
// 1 when INDEX is a symbol whose every character is in the non-empty legal
// set, else 0.
int IsLegalSymbol(int index);
// The symbol entry of INDEX (100 up to 100 + count - 1), or null.
UserSymbol* FindSymbol(int index);
// The index of the symbol NAME (letter case ignored), registered when new;
// 0 when the table is full (after message 8) or memory cannot be had.
int RegisterSymbol(const char* name);
// Makes a copy of TEXT the value of symbol INDEX; 1, or 0 when INDEX is no
// symbol or no room can be had (the value is then unchanged). TEXT may be
// the symbol's own value or a part of it.
int AssignText(int index, const char* text);
// Cuts or fills symbol INDEX with spaces to exactly N characters; 1, or 0
// when INDEX is no symbol, N is negative or no room can be had.
int PadSymbol(int index, int32_t n);

// 1 when an operation of this run could not get memory for a symbol; the
// driver then reports errors, because the output is not what the design
// asks for. NoteSymbolMemoryFailure sets the mark for an operation outside
// the store that built a symbol's text.
int SymbolMemoryFailed();
void NoteSymbolMemoryFailure();
// Frees every symbol value and the registered names; the table returns to
// its two preset symbols with empty values, the integer width to 1 and the
// memory failure mark is cleared. The legal-character set is kept.
void ReleaseSymbols();
