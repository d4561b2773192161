// Owns the user symbol table, the integer width and the legal-character
// set. It knows nothing of the design or the channels.
#include "runtime/symbols.h"

#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "platform/report.h"
#include "resources/messages.h"

namespace {

constexpr char ExitTypeName[] = "ExitType";
constexpr char LocalSignalName[] = "LocalSignal";

struct SymbolState {
    UserSymbol symbols[SymbolLimit] = {{ExitTypeName, EmptyText, 0}, {LocalSignalName, EmptyText, 0}};
    int count = PresetSymbols;   // entries in use, PresetSymbols to SymbolLimit
    int32_t integerwidth = 1;    // minimum digits of printed integers
    // The legal set as a table of bytes: a set text of any length is held
    // whole, and testing a character costs one look.
    bool legal[ByteValues] = {};
    bool legalgiven = false;     // the set holds at least one character
    bool memoryfailed = false;   // an allocation of this run failed
};

SymbolState Symbols;

// The owned buffer of an entry whose capacity is above 0.
char* Buffer(UserSymbol* entry) { return const_cast<char*>(entry->value); }

// Grows ENTRY's buffer to hold N bytes, terminator included, in steps of
// SymbolTextStep; never shrinks. 1 when it holds N bytes; 0 when memory
// cannot be had or N is beyond SymbolTextLimit (the entry is then unchanged).
int ReserveSymbolText(UserSymbol* entry, std::size_t n) {
    std::size_t m = (n + SymbolTextStep - 1) / SymbolTextStep * SymbolTextStep;
    if (m < n || m > static_cast<std::size_t>(SymbolTextLimit)) return 0;
    if (entry->capacity == 0) {
        char* buffer = static_cast<char*>(AllocateMemory(m));
        if (buffer == nullptr) {
            Symbols.memoryfailed = true;
            return 0;
        }
        buffer[0] = '\0';
        entry->value = buffer;
        entry->capacity = static_cast<int16_t>(m);
    } else if (static_cast<std::size_t>(entry->capacity) < m) {
        char* buffer = static_cast<char*>(ResizeMemory(Buffer(entry), m));
        if (buffer == nullptr) {
            Symbols.memoryfailed = true;
            return 0;
        }
        entry->value = buffer;
        entry->capacity = static_cast<int16_t>(m);
    }
    return 1;
}

// Stores a copy of TEXT in ENTRY. A TEXT inside ENTRY's own buffer already
// fits it, so the reservation moves nothing and the copy may overlap.
int StoreText(UserSymbol* entry, const char* text) {
    std::size_t length = std::strlen(text);
    if (!ReserveSymbolText(entry, length + 1)) return 0;
    std::memmove(Buffer(entry), text, length + 1);
    return 1;
}

}  // namespace

void SetIntegerWidth(int32_t width) { Symbols.integerwidth = width; }

void FormatInteger(char* target, int size, int32_t value) {
    if (size <= 0) return;
    char digits[16];
    int length = FormatText(digits, sizeof digits, "%d", value);
    int room = size - 1;
    if (length > room) length = room;
    int64_t zeros = static_cast<int64_t>(Symbols.integerwidth) - length;
    if (zeros > room - length) zeros = room - length;
    if (zeros < 0) zeros = 0;
    std::memset(target, '0', static_cast<std::size_t>(zeros));
    std::memcpy(target + zeros, digits, static_cast<std::size_t>(length));
    target[zeros + length] = '\0';
}

int SetLegalCharacters(const char* set) {
    std::memset(Symbols.legal, 0, sizeof Symbols.legal);
    Symbols.legalgiven = set[0] != '\0';
    for (; *set != '\0'; set++) Symbols.legal[static_cast<unsigned char>(*set)] = true;
    return 0;
}

int IsLegalSymbol(int index) {
    const UserSymbol* entry = FindSymbol(index);
    if (!Symbols.legalgiven || entry == nullptr) return 0;
    for (const char* c = entry->value; *c != '\0'; c++)
        if (!Symbols.legal[static_cast<unsigned char>(*c)]) return 0;
    return 1;
}

UserSymbol* FindSymbol(int index) {
    if (index < FirstSymbol || index >= FirstSymbol + Symbols.count) return nullptr;
    return &Symbols.symbols[index - FirstSymbol];
}

int RegisterSymbol(const char* name) {
    // A full table refuses even a name it holds.
    if (Symbols.count == SymbolLimit) {
        ReportMessage(MsgTooManySymbols);
        return 0;
    }
    for (int i = 0; i < Symbols.count; i++)
        if (SameTextIgnoringCase(Symbols.symbols[i].name, name)) return FirstSymbol + i;
    char* copy = CopyText(name);
    if (copy == nullptr) {
        Symbols.memoryfailed = true;
        return 0;
    }
    Symbols.symbols[Symbols.count] = {copy, EmptyText, 0};
    return FirstSymbol + Symbols.count++;
}

int AssignText(int index, const char* text) {
    UserSymbol* entry = FindSymbol(index);
    if (entry == nullptr) return 0;
    return StoreText(entry, text);
}

int PadSymbol(int index, int32_t n) {
    UserSymbol* entry = FindSymbol(index);
    if (entry == nullptr || n < 0) return 0;
    std::size_t wanted = static_cast<std::size_t>(n);
    if (!ReserveSymbolText(entry, wanted + 1)) return 0;
    char* value = Buffer(entry);
    std::size_t length = std::strlen(value);
    if (wanted > length) std::memset(value + length, ' ', wanted - length);
    value[wanted] = '\0';
    return 1;
}

int SymbolMemoryFailed() { return Symbols.memoryfailed ? 1 : 0; }

void NoteSymbolMemoryFailure() { Symbols.memoryfailed = true; }

void ReleaseSymbols() {
    for (int i = 0; i < Symbols.count; i++) {
        UserSymbol& entry = Symbols.symbols[i];
        if (entry.capacity > 0) FreeText(entry.value);
        if (i >= PresetSymbols) FreeText(entry.name);
        entry.value = EmptyText;
        entry.capacity = 0;
    }
    Symbols.symbols[0].name = ExitTypeName;
    Symbols.symbols[1].name = LocalSignalName;
    Symbols.count = PresetSymbols;
    Symbols.integerwidth = 1;
    Symbols.memoryfailed = false;
}
