// Owns the user symbol table, the integer width and the legal-character
// set, and reads the built-in variables from the driver's current records.
#include "runtime/symbols.h"

#include <cstring>

#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/templates.h"
#include "resources/messages.h"
#include "runtime/channels.h"
#include "runtime/driver.h"

namespace {

namespace V = BuiltinVariable;

constexpr int32_t VariableTypes[VariableCount] = {
    TextType,                                                          // 0
    CharacterType,  CharacterType,                                     // 1, 2
    TextType,       TextType,       TextType,                          // 3 to 5
    IntegerType,                                                       // 6
    TextType,       TextType,                                          // 7, 8
    CharacterType,                                                     // 9
    IntegerType,                                                       // 10
    TextType,       TextType,       TextType,       TextType,          // 11 to 14
    TextType,       TextType,       TextType,       TextType,          // 15 to 18
    TextType,       TextType,       TextType,                          // 19 to 21
    IntegerType,    IntegerType,                                       // 22, 23
    CharacterType,                                                     // 24
    DesignTextType, DesignTextType, DesignTextType, DesignTextType,    // 25 to 28
    DesignTextType, DesignTextType, DesignTextType, DesignTextType,    // 29 to 32
    DesignTextType, DesignTextType,                                    // 33, 34
    IntegerType,                                                       // 35
    TextType,       TextType,                                          // 36, 37
    CharacterType,  CharacterType,  CharacterType,                     // 38 to 40
};

// Integers always print in decimal; printed and copied forms of variables
// other than texts are staged here.
constexpr int StageSize = IntegerTextLimit + 1;

// Properties of the current part behind PartField1 to PartField8.
constexpr const char* PartFieldNames[8] = {"1ST PART FIELD", "2ND PART FIELD", "3RD PART FIELD", "4TH PART FIELD",
                                           "5TH PART FIELD", "6TH PART FIELD", "7TH PART FIELD", "8TH PART FIELD"};

constexpr char ExitTypeName[] = "ExitType";
constexpr char LocalSignalName[] = "LocalSignal";

struct SymbolState {
    UserSymbol symbols[SymbolLimit] = {{ExitTypeName, EmptyText, 0}, {LocalSignalName, EmptyText, 0}};
    int count = PresetSymbols;   // entries in use, PresetSymbols to SymbolLimit
    int32_t integerwidth = 1;    // minimum digits of printed integers
    // The legal set as a table of bytes: a set text of any length is held
    // whole, and testing a character costs one look.
    bool legal[256] = {};
    bool legalgiven = false;     // the set holds at least one character
    bool memoryfailed = false;   // an allocation of this run failed
};

SymbolState Symbols;

bool IsVariable(int index) { return index >= 0 && index < VariableCount; }

bool IsTextVariable(int index) {
    return IsVariable(index) && (VariableTypes[index] == TextType || VariableTypes[index] == DesignTextType);
}

// The owned buffer of an entry whose capacity is above 0.
char* Buffer(UserSymbol* entry) { return const_cast<char*>(entry->value); }

// A text field that may be absent reads as the empty text.
const char* OrEmpty(const char* text) { return text != nullptr ? text : EmptyText; }


const ComponentDef* CurrentComponent() {
    int32_t index = CurrentPart.component;
    if (Design.components == nullptr || index < 0 || index >= Design.componentcount) return nullptr;
    return Design.components[index];
}

const char* HeaderText(int index) {
    switch (index) {
        case V::DesignDocument: return Header.document;
        case V::DesignDate: return Header.date;
        case V::DesignRevision: return Header.revision;
        case V::DesignTitle: return Header.title;
        case V::DesignOrganization: return Header.organization;
        case V::DesignAddress1: return Header.address1;
        case V::DesignAddress2: return Header.address2;
        case V::DesignAddress3: return Header.address3;
        case V::DesignAddress4: return Header.address4;
        default: return EmptyText;
    }
}

// The first TimestampWidth characters of the part's timestamp, in STAGE.
const char* ShortTimestamp(char* stage) {
    const char* timestamp = VariableText(V::PartTimestamp);
    std::size_t length = std::strlen(timestamp);
    if (length > static_cast<std::size_t>(TimestampWidth)) length = TimestampWidth;
    std::memcpy(stage, timestamp, length);
    stage[length] = '\0';
    return stage;
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

int32_t VariableType(int index) { return IsVariable(index) ? VariableTypes[index] : -1; }

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

int AssignText(int index, const char* text) {
    UserSymbol* entry = FindSymbol(index);
    if (entry == nullptr) return 0;
    return StoreText(entry, text);
}

int AssignNetProperty(const char* name, int index) {
    AssignText(index, FindNetProperty(name));
    return 1;
}

int32_t IntegerValue(int index) {
    switch (index) {
        case V::NetDirection:
        case V::NetDirectionAlias: return CurrentNet.netdir;
        case V::NetType:
        case V::NetTypeAlias: return static_cast<signed char>(CurrentNet.nettype);
        case V::PinType: return CurrentNetPin.libpin != nullptr ? CurrentNetPin.libpin->pintype : 0;
        case V::NetNumber: return CurrentNetNumber();
        case V::NetLocalNumber: return CurrentNet.localnumber;
        case V::One: return 1;
        case V::LetterA: return 'A';
        case V::PartCounter: return CurrentPartCounter();
        default: return 0;  // Reserved6, Reserved38 and every non-number
    }
}

const char* VariableText(int index) {
    const LibPin* pin = CurrentNetPin.libpin;
    const ComponentDef* component = nullptr;
    switch (index) {
        case V::NetName: return OrEmpty(CurrentNet.name);
        case V::PartReference: return OrEmpty(CurrentPart.reference);
        case V::PinNumber: return pin != nullptr ? OrEmpty(pin->number) : EmptyText;
        case V::PinName: return pin != nullptr ? OrEmpty(pin->pinname) : EmptyText;
        case V::PartValue: return OrEmpty(CurrentPart.value);
        case V::PartFootprint: {
            const char* footprint = ExpandTemplate(&FootprintCombine, CurrentPart.properties);
            return footprint[0] != '\0' ? footprint : OrEmpty(CurrentPart.value);
        }
        case V::PartTimestamp: return FindPartProperty("timestamp");
        case V::PartField1:
        case V::PartField2:
        case V::PartField3:
        case V::PartField4:
        case V::PartField5:
        case V::PartField6:
        case V::PartField7:
        case V::PartField8: return FindPartProperty(PartFieldNames[index - V::PartField1]);
        case V::Reserved20: return Reserved20Text();
        case V::DesignBasePath: return DesignBasePath();
        case V::SourceLibrary:
            component = CurrentComponent();
            return component != nullptr ? OrEmpty(component->sourcelib) : EmptyText;
        case V::ComponentName:
            component = CurrentComponent();
            return component != nullptr ? OrEmpty(component->name) : EmptyText;
        default:
            if (index >= V::DesignDocument && index <= V::DesignAddress4) return OrEmpty(HeaderText(index));
            return EmptyText;  // Reserved21 and every non-text
    }
}

int PrintVariable(int channel, int index) {
    if (const UserSymbol* entry = FindSymbol(index)) {
        WriteString(channel, entry->value);
        return 1;
    }
    if (!IsVariable(index)) return 0;
    char stage[StageSize];
    if (index == V::PartTimestamp) {
        WriteString(channel, ShortTimestamp(stage));
    } else if (VariableTypes[index] == IntegerType) {
        FormatInteger(stage, StageSize, IntegerValue(index));
        WriteString(channel, stage);
    } else if (VariableTypes[index] == CharacterType) {
        stage[0] = static_cast<char>(IntegerValue(index) & 0xFF);
        stage[1] = '\0';
        WriteString(channel, stage);
    } else {
        // Texts are written as they stand, so none is cut to a staging size.
        WriteString(channel, VariableText(index));
    }
    return 1;
}

namespace {

// Writes TEXT to CHANNEL with its control bytes replaced, tabs and line
// feeds kept when KEEPBREAKS; gives how many were replaced. A text without
// any goes out in one piece, as PrintVariable writes it.
int32_t WriteReplacing(int channel, const char* text, bool keepbreaks) {
    auto replaced = [keepbreaks](char c) { return IsControlByte(c) && !(keepbreaks && (c == '\t' || c == '\n')); };
    const char* c = text;
    while (*c != '\0' && !replaced(*c)) c++;
    if (*c == '\0') {
        WriteString(channel, text);
        return 0;
    }
    int32_t count = 0;
    char stage[StageSize];
    int length = 0;
    for (c = text; *c != '\0'; c++) {
        if (replaced(*c)) {
            stage[length++] = ControlReplacement;
            count++;
        } else {
            stage[length++] = *c;
        }
        if (length == StageSize - 1 || c[1] == '\0') {
            stage[length] = '\0';
            WriteString(channel, stage);
            length = 0;
        }
    }
    return count;
}

// The part's value: a composed value holds only its template's breaks, the
// component name is data through and through.
int32_t WritePartValue(int channel) {
    const char* value = OrEmpty(CurrentPart.value);
    if (!CurrentPart.composed) return WriteReplacing(channel, value, false);
    return WriteReplacing(channel, value, true) + CurrentPart.replaced;
}

}  // namespace

int32_t PrintDesignText(int channel, int index) {
    if (const UserSymbol* entry = FindSymbol(index)) return WriteReplacing(channel, entry->value, false);
    if (!IsVariable(index)) return 0;
    if (index == V::PartValue) return WritePartValue(channel);
    if (index == V::PartFootprint) {
        const char* footprint = ExpandTemplate(&FootprintCombine, CurrentPart.properties);
        if (footprint[0] == '\0') return WritePartValue(channel);
        int32_t composed = ExpansionReplacedControls();
        return WriteReplacing(channel, footprint, true) + composed;
    }
    if (index == V::PartTimestamp) {
        char stage[StageSize];
        return WriteReplacing(channel, ShortTimestamp(stage), false);
    }
    if (VariableTypes[index] == TextType || VariableTypes[index] == DesignTextType)
        return WriteReplacing(channel, VariableText(index), false);
    PrintVariable(channel, index);
    return 0;
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

int CopyToSymbol(int source, int target) {
    if (source == target) return 1;
    UserSymbol* entry = FindSymbol(target);
    if (entry == nullptr) return 0;
    if (const UserSymbol* from = FindSymbol(source)) return StoreText(entry, from->value);
    if (!IsVariable(source)) return 0;
    char stage[StageSize];
    switch (VariableTypes[source]) {
        case IntegerType:
            FormatInteger(stage, StageSize, IntegerValue(source));
            return StoreText(entry, stage);
        case CharacterType:
            return 1;  // a character is printed, never copied
        default:
            return StoreText(entry, source == V::PartTimestamp ? ShortTimestamp(stage) : VariableText(source));
    }
}

int32_t VariableLength(int index) {
    if (const UserSymbol* entry = FindSymbol(index)) return static_cast<int32_t>(std::strlen(entry->value));
    switch (VariableType(index)) {
        case IntegerType: return 4;
        case CharacterType: return 1;
        case TextType:
        case DesignTextType: return static_cast<int32_t>(std::strlen(VariableText(index)));
        default: return 0;
    }
}

int CompareVariables(int a, int b) {
    const char* texts[2] = {nullptr, nullptr};
    const int indexes[2] = {a, b};
    for (int i = 0; i < 2; i++) {
        if (const UserSymbol* entry = FindSymbol(indexes[i]))
            texts[i] = entry->value;
        else if (IsTextVariable(indexes[i]))
            texts[i] = VariableText(indexes[i]);
        else
            return 1;
    }
    int order = std::strcmp(texts[0], texts[1]);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int BuildLocalSignal(const char* text) {
    // Built apart from the symbol, since TEXT may be LocalSignal's own value.
    const char* name = VariableText(V::NetName);
    char number[StageSize];
    FormatInteger(number, StageSize, IntegerValue(V::NetLocalNumber));
    std::size_t namelength = std::strlen(name);
    std::size_t textlength = std::strlen(text);
    std::size_t numberlength = std::strlen(number);
    char* signal = static_cast<char*>(AllocateMemory(namelength + textlength + numberlength + 1));
    if (signal == nullptr) {
        Symbols.memoryfailed = true;
        return 0;
    }
    std::memcpy(signal, name, namelength);
    std::memcpy(signal + namelength, text, textlength);
    std::memcpy(signal + namelength + textlength, number, numberlength + 1);
    AssignText(LocalSignalSymbol, signal);
    ReleaseMemory(signal);
    return 0;
}

int SymbolMemoryFailed() { return Symbols.memoryfailed ? 1 : 0; }

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
