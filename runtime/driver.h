// The generation driver: walks the design tables and calls a format
// program's hooks with the current net, connection and part installed, and
// the 41 read-only built-in variables (0 to 40) that yield facts about them.
// Variables and user symbols (runtime/symbols.h) share one index space.
#pragma once

#include <cstddef>
#include <cstdint>

// The six hooks of an output format, called in this order: init, header,
// then per net: net, pin once per connection, netend; last end. Results are
// ignored. A format is one such record in formats/; the host picks it.
struct FormatProgram {
    int (*init)();
    int (*header)();
    int (*net)();
    int (*pin)();
    int (*netend)();
    int (*end)();
};

// Runs PROGRAM over the design: resets the runtime, calls the hooks and
// maps the first character of ExitType to the result (0 no warning, 1
// warnings, 2 errors). BASEPATH, the design base path as the host holds it,
// is what variable DesignBasePath yields during the run; it is not copied.
// A design without nets gets no net hook at all.
int RunFormatProgram(const FormatProgram& program, const char* basepath);
// Makes the next part in reference order current; 1, or 0 once the walk
// has passed the last part (the counter still moves one further).
int NextPart();
// Frees what the driver allocated for the run and forgets the current
// records, counters and base path included.
void ReleaseDriver();

// ---- Built-in variables ------------------------------------------------------

// Each yields one fact about the current net, connection or part, the
// design header, a counter or a constant.
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

// PrintVariable and CopyToSymbol use only this many characters of the
// part's timestamp.
constexpr int TimestampWidth = 8;

// Symbol INDEX := the current net's property NAME ("" when none); 1.
int AssignNetProperty(const char* name, int index);
// The number behind an Integer or Character variable; 0 for other indexes.
int32_t IntegerValue(int index);
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
// What PrintDesignText would write for INDEX, put into TEXT at *LENGTH and
// terminated instead, for a hook that writes a line's item in one piece: for
// a symbol or a text variable that is written as it stands (not the part
// value, footprint or timestamp), when it fits with its terminator in SIZE
// bytes. Adds its length to *LENGTH and gives how many bytes were replaced;
// -1 otherwise, *LENGTH as it was and TEXT still ending there.
int32_t StageDesignText(char* text, std::size_t size, std::size_t* length, int index);
// Symbol TARGET := the printed form of SOURCE (a Character source copies
// nothing); 1, or 0 when TARGET is no symbol, SOURCE is neither kind or no
// room can be had.
int CopyToSymbol(int source, int target);
// Length of the value of INDEX: 4 for Integer, 1 for Character variables.
int32_t VariableLength(int index);
// Byte-wise order of the texts of A and B (-1, 0, 1); 1 as soon as either
// is not a text.
int CompareVariables(int a, int b);
