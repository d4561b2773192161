// The format runtime's values: 41 read-only built-in variables (0 to 40)
// and up to 40 named user symbols (100 to 139), with the text operations a
// format program uses on them. One integer index space serves both kinds.
#pragma once

#include <cstddef>
#include <cstdint>

// The built-in variables by index. Each yields one fact about the current
// net, connection or part, the design header, a counter or a constant.
namespace BuiltinVariable {
enum : int {
    NetName = 0,
    NetDirection = 1,
    NetType = 2,
    PartReference = 3,
    PinNumber = 4,
    PinName = 5,
    Reserved6 = 6,
    PartValue = 7,
    PartFootprint = 8,
    PinType = 9,
    NetNumber = 10,
    PartTimestamp = 11,
    PartField1 = 12,
    PartField2 = 13,
    PartField3 = 14,
    PartField4 = 15,
    PartField5 = 16,
    PartField6 = 17,
    PartField7 = 18,
    PartField8 = 19,
    Reserved20 = 20,
    Reserved21 = 21,
    NetLocalNumber = 22,
    One = 23,
    LetterA = 24,
    DesignDocument = 25,
    DesignDate = 26,
    DesignRevision = 27,
    DesignTitle = 28,
    DesignOrganization = 29,
    DesignAddress1 = 30,
    DesignAddress2 = 31,
    DesignAddress3 = 32,
    DesignAddress4 = 33,
    DesignBasePath = 34,
    PartCounter = 35,
    SourceLibrary = 36,
    ComponentName = 37,
    Reserved38 = 38,
    NetTypeAlias = 39,
    NetDirectionAlias = 40,
};
}  // namespace BuiltinVariable

constexpr int VariableCount = 41;

// Type codes of the built-in variables; DesignText behaves exactly as Text.
constexpr int32_t IntegerType = 0;
constexpr int32_t CharacterType = 1;
constexpr int32_t TextType = 2;
constexpr int32_t DesignTextType = 5;

// The type code of variable INDEX (0 to 40), or -1 for any other index.
int32_t VariableType(int index);

constexpr int FirstSymbol = 100;   // index of user symbol 0
constexpr int SymbolLimit = 40;    // entries of the symbol table
constexpr int PresetSymbols = 2;   // ExitType and LocalSignal
constexpr int ExitTypeSymbol = 100;
constexpr int LocalSignalSymbol = 101;

// A symbol buffer grows in steps of this many bytes and never shrinks; its
// capacity is a signed 16-bit count, so no buffer exceeds SymbolTextLimit.
constexpr int SymbolTextStep = 8;
constexpr int SymbolTextLimit = 32760;

// Integers are printed with at most this many characters, zeros included.
constexpr int IntegerTextLimit = 255;
// PrintVariable and CopyToSymbol use only this many characters of the
// part's timestamp.
constexpr int TimestampWidth = 8;

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
// symbol or no room can be had (the value is then unchanged).
int AssignText(int index, const char* text);
// Grows ENTRY's buffer to hold N bytes, terminator included, in steps of 8;
// never shrinks. 1 when it holds N bytes; 0 when memory cannot be had or N
// is beyond SymbolTextLimit (the entry is then unchanged).
int ReserveSymbolText(UserSymbol* entry, std::size_t n);
// Symbol INDEX := the current net's property NAME ("" when none); 1.
int AssignNetProperty(const char* name, int index);
// The number behind an Integer or Character variable; 0 for other indexes.
int32_t IntegerValue(int index);
// The text behind a Text or DesignText variable (not a copy); EmptyText for
// other indexes.
const char* VariableText(int index);
// Writes the printed form of variable or symbol INDEX to CHANNEL; 1, or 0
// when INDEX is neither kind (nothing written).
int PrintVariable(int channel, int index);
// Writes the printed form of variable or symbol INDEX to CHANNEL like
// PrintVariable, with every control byte that came from the design's data
// written as ControlReplacement: the tabs and line feeds that a combine
// template's escapes put into a part's value or footprint stay. Gives how
// many bytes of the design were replaced, those replaced when the value or
// footprint was composed included; 0 when INDEX is neither kind.
int32_t PrintDesignText(int channel, int index);
// Cuts or fills symbol INDEX with spaces to exactly N characters; 1, or 0
// when INDEX is no symbol, N is negative or no room can be had.
int PadSymbol(int index, int32_t n);
// Symbol TARGET := the printed form of SOURCE (a Character source copies
// nothing); 1, or 0 when TARGET is no symbol, SOURCE is neither kind or no
// room can be had.
int CopyToSymbol(int source, int target);
// Length of the value of INDEX: 4 for Integer, 1 for Character variables.
int32_t VariableLength(int index);
// Byte-wise order of the texts of A and B (-1, 0, 1); 1 as soon as either
// is not a text.
int CompareVariables(int a, int b);
// LocalSignal := NetName, TEXT and NetLocalNumber formatted; 0.
int BuildLocalSignal(const char* text);

// 1 when an operation of this run could not get memory; the driver then
// reports errors, because the output is not what the design asks for.
int SymbolMemoryFailed();
// Frees every symbol value and the registered names; the table returns to
// its two preset symbols with empty values, the integer width to 1 and the
// memory failure mark is cleared. The legal-character set is kept.
void ReleaseSymbols();
