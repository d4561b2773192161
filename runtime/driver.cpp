// Owns the current records, the net number, the part walk, the base path
// of the run and the buffer behind built-in variable 20, and reads the
// built-in variables from them.
#include "runtime/driver.h"

#include <cstring>

#include "platform/platform.h"
#include "platform/report.h"
#include "reader/templates.h"
#include "reader/text.h"
#include "reader/tokens.h"
#include "resources/messages.h"
#include "runtime/channels.h"
#include "runtime/driver_testing.h"
#include "runtime/symbols.h"

Net CurrentNet = {};
NetPin CurrentNetPin = {};
PartInstance CurrentPart = {};

namespace {

namespace V = BuiltinVariable;

// The names reader/header_fields.def gives each header field's variable.
namespace HeaderVariables {
using namespace BuiltinVariable;
constexpr int NoVariable = -1;
}  // namespace HeaderVariables

// Variable 20 is a text of a token buffer's size that nothing ever writes.
constexpr std::size_t Reserved20Size = TokenSize;

struct DriverState {
    int32_t netnumber = 0;          // 1-based position of CurrentNet; 0 before the loop
    int32_t partcounter = 0;        // steps of the part walk since its reset
    char* reserved20 = nullptr;     // allocated at run start, empty
    const char* basepath = EmptyText;  // the host's, for the run; not owned
};

DriverState Driver;

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

bool IsVariable(int index) { return index >= 0 && index < VariableCount; }

bool IsTextVariable(int index) {
    return IsVariable(index) && (VariableTypes[index] == TextType || VariableTypes[index] == DesignTextType);
}

// A text field that may be absent reads as the empty text.
const char* OrEmpty(const char* text) { return text != nullptr ? text : EmptyText; }

const ComponentDef* CurrentComponent() {
    int32_t index = CurrentPart.component;
    if (Design.components == nullptr || index < 0 || index >= Design.componentcount) return nullptr;
    return Design.components[index];
}

// The header text behind variable INDEX, one of DesignDocument to
// DesignAddress4.
const char* HeaderText(int index) {
    namespace H = HeaderVariables;
#define ZEDID_HEADER_FIELD(field, variable) \
    if (index == H::variable) return Header.field;
#include "reader/header_fields.def"
#undef ZEDID_HEADER_FIELD
    return EmptyText;
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

// Asks the cache for the parts and pins of NET's connections, which stand
// anywhere in memory, before the pin hooks read them one after another.
void PrefetchNetPins(const Net* net) {
    for (const NetPin* pin = net->netpins; pin != nullptr; pin = pin->nextonnet)
        if (pin->part >= 0 && pin->part < Design.partcount) PrefetchMemory(&Design.parts[pin->part]);
    for (const NetPin* pin = net->netpins; pin != nullptr; pin = pin->nextonnet) {
        if (pin->part >= 0 && pin->part < Design.partcount) TouchMemory(Design.parts[pin->part]);
        if (pin->libpin != nullptr) TouchMemory(pin->libpin);
    }
}

void CallHook(int (*hook)()) {
    if (hook != nullptr) hook();
}

// The run's result from the first character of ExitType.
int ResultOfRun() {
    const UserSymbol* exittype = FindSymbol(ExitTypeSymbol);
    char status = exittype != nullptr ? exittype->value[0] : '\0';
    // A symbol the program could not keep for lack of memory means the file
    // is not what the design asks for; the host is told why, since no hook
    // reported anything.
    if (SymbolMemoryFailed()) {
        ReportMessage(MsgErrorsUnusable);
        return 2;
    }
    if (status == 'E') return 2;
    return status == 'W' ? 1 : 0;
}

}  // namespace

int RunFormatProgram(const FormatProgram& program, const char* basepath) {
    Driver.basepath = basepath != nullptr ? basepath : EmptyText;
    // Releasing also frees whatever a run that was never released left.
    ReleaseSymbols();
    SetIntegerWidth(1);
    Driver.netnumber = 0;
    ResetPartWalk();
    ReleaseMemory(Driver.reserved20);
    Driver.reserved20 = static_cast<char*>(AllocateMemory(Reserved20Size));
    if (Driver.reserved20 != nullptr) Driver.reserved20[0] = '\0';

    CallHook(program.init);
    CallHook(program.header);
    Driver.netnumber = 0;
    // The count is tested after each pass; an empty table, which the entry
    // point never lets through, gets no pass at all.
    while (Driver.netnumber < Design.netcount && Design.nets != nullptr) {
        const Net* net = Design.nets[Driver.netnumber];
        CurrentNet = *net;
        Driver.netnumber++;
        PrefetchNetPins(net);
        CallHook(program.net);
        for (const NetPin* pin = net->netpins; pin != nullptr; pin = pin->nextonnet) {
            CurrentNetPin = *pin;
            if (pin->part >= 0 && pin->part < Design.partcount)
                CurrentPart = *Design.parts[pin->part];
            else
                CurrentPart = {};
            CallHook(program.pin);
        }
        CallHook(program.netend);
    }
    CallHook(program.end);
    return ResultOfRun();
}

int ResetPartWalk() {
    Driver.partcounter = 0;
    return 0;
}

int NextPart() {
    if (Driver.partcounter < INT32_MAX) Driver.partcounter++;
    if (Driver.partcounter > Design.partcount || Design.parts == nullptr) return 0;
    CurrentPart = *Design.parts[Driver.partcounter - 1];
    return 1;
}

int32_t CurrentNetNumber() { return Driver.netnumber; }

int32_t CurrentPartCounter() { return Driver.partcounter; }

void ReleaseDriver() {
    ReleaseMemory(Driver.reserved20);
    Driver = DriverState{};
    CurrentNet = {};
    CurrentNetPin = {};
    CurrentPart = {};
}

// ---- Built-in variables ------------------------------------------------------

int32_t VariableType(int index) { return IsVariable(index) ? VariableTypes[index] : -1; }

const char* FindNetProperty(const char* name) { return FindProperty(name, CurrentNet.properties); }

const char* FindPartProperty(const char* name) { return FindProperty(name, CurrentPart.properties); }

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
        case V::NetNumber: return Driver.netnumber;
        case V::NetLocalNumber: return CurrentNet.localnumber;
        case V::One: return 1;
        case V::LetterA: return 'A';
        case V::PartCounter: return Driver.partcounter;
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
        case V::Reserved20: return Driver.reserved20 != nullptr ? Driver.reserved20 : EmptyText;
        case V::DesignBasePath: return Driver.basepath;
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
    const char* c = text;
    while (*c != '\0' && !IsReplacedByte(*c, keepbreaks)) c++;
    if (*c == '\0') {
        WriteString(channel, text);
        return 0;
    }
    int32_t count = 0;
    char stage[StageSize];
    for (std::size_t left = std::strlen(text); left > 0;) {
        std::size_t length = left < StageSize - 1 ? left : StageSize - 1;
        count += static_cast<int32_t>(CopyReplacingControls(stage, text, length, keepbreaks));
        stage[length] = '\0';
        WriteString(channel, stage);
        text += length;
        left -= length;
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

int32_t StageDesignText(char* text, std::size_t size, std::size_t* length, int index) {
    // Variables and symbols have indexes of their own ranges.
    const char* value = nullptr;
    if (IsVariable(index)) {
        if (index != V::PartValue && index != V::PartFootprint && index != V::PartTimestamp &&
            (VariableTypes[index] == TextType || VariableTypes[index] == DesignTextType))
            value = VariableText(index);
    } else if (const UserSymbol* entry = FindSymbol(index)) {
        value = entry->value;
    }
    if (value == nullptr || *length >= size) return -1;
    // One pass, as a pin item is staged for every connection.
    char* at = text + *length;
    const char* end = text + size - 1;
    int32_t replaced = 0;
    for (char c; (c = *value) != '\0'; value++) {
        if (at == end) {
            text[*length] = '\0';
            return -1;
        }
        if (IsReplacedByte(c, false)) {
            c = ControlReplacement;
            replaced++;
        }
        *at++ = c;
    }
    *at = '\0';
    *length = static_cast<std::size_t>(at - text);
    return replaced;
}

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

int CopyToSymbol(int source, int target) {
    if (source == target) return 1;
    UserSymbol* entry = FindSymbol(target);
    if (entry == nullptr) return 0;
    if (const UserSymbol* from = FindSymbol(source)) return AssignText(target, from->value);
    if (!IsVariable(source)) return 0;
    char stage[StageSize];
    switch (VariableTypes[source]) {
        case IntegerType:
            FormatInteger(stage, StageSize, IntegerValue(source));
            return AssignText(target, stage);
        case CharacterType:
            return 1;  // a character is printed, never copied
        default:
            return AssignText(target, source == V::PartTimestamp ? ShortTimestamp(stage) : VariableText(source));
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
        NoteSymbolMemoryFailure();
        return 0;
    }
    std::memcpy(signal, name, namelength);
    std::memcpy(signal + namelength, text, textlength);
    std::memcpy(signal + namelength + textlength, number, numberlength + 1);
    AssignText(LocalSignalSymbol, signal);
    ReleaseMemory(signal);
    return 0;
}
