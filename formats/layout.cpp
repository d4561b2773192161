// The layout netlist: the part list, then one signal block per net, nets
// with a trace width gathered in the temporary file and appended last.
#include "formats/layout.h"

#include <cstddef>
#include <cstring>

#include "formats/names.h"
#include "platform/report.h"
#include "reader/text.h"
#include "resources/messages.h"
#include "runtime/channels.h"
#include "runtime/symbols.h"

namespace {

namespace V = BuiltinVariable;

constexpr char HeaderLine[] = "!PADS-POWERPCB-V3.0-MILS! DESIGN DATABASE ASCII FILE 1.0";
constexpr char TraceWidthProperty[] = "tracewidth";
// A pin item: a blank, a reference of at most ReferenceWidth bytes, ".", a
// pin number of a token's length and the terminator.
constexpr std::size_t PinItemSize = 1 + ReferenceWidth + 1 + TokenSize;
constexpr std::size_t ItemReferenceLimit = ReferenceWidth;

// Set again in every run before its first use, so nothing carries over.
struct LayoutState {
    int error = 0;          // symbol "Error", holding "E"
    int referencestr = 0;   // symbol "ReferenceStr": the reference being written
    int signalnamestr = 0;  // symbol "SignalNameStr": the net name being checked
    int tracewidth = 0;     // symbol "TraceWidth": the net's trace width or ""
    int NetChannel = FirstOutputChannel;  // where the current net's block goes
    int PinsOnLine = 0;     // pin items on the current pin line, 0 to 8
    int32_t NetReplaced = 0;  // control bytes replaced in the current net's trace width and pin numbers
    NameSet references = {};  // the part references written, after the cut
    NameSet labels = {};      // the signal labels written, after every repair
    bool shared = false;      // two objects were written under one name
};

LayoutState Layout;

void Warn() { AssignText(ExitTypeSymbol, "W"); }

// A net-name warning leaves a status of errors as it stands.
void WarnAboutName() {
    if (CompareVariables(ExitTypeSymbol, Layout.error) != 0) Warn();
}

// The layout tool takes two objects written under one name for one: two
// parts would pool their pins, two nets would be shorted. A name that an
// earlier object of the same kind was written under is an error, reported
// once for each later object, with the first one's name.
struct WrittenName {
    const char* name;      // as the netlist has it, terminated
    const char* original;  // the design's name of the object; null: unchecked
    const char* earlier;   // the design's name of the first object written so; null: none
};

// Notes NAME, written for the object the design calls ORIGINAL. The texts
// stay valid until the next note.
WrittenName NoteName(NameSet* names, const char* name, const char* original) {
    WrittenName note = {name, nullptr, nullptr};
    // Unchecked, the netlist cannot be called free of such joins.
    if (!NoteWrittenName(names, name, original, &note.original, &note.earlier)) NoteSymbolMemoryFailure();
    return note;
}

void ReportSharedName(const WrittenName& note, int message) {
    if (note.earlier == nullptr) return;
    ReportFilledMessage(message, note.earlier, note.original, note.name);
    Layout.shared = true;
}

// Sends "WARNING: " + OPENING + the net name + "', changed to X" + number.
void ReportNetName(const char* opening) {
    WriteString(MessageChannel, opening);
    PrintVariable(MessageChannel, Layout.signalnamestr);
    WriteString(MessageChannel, "', changed to X");
    PrintVariable(MessageChannel, V::NetNumber);
    EndLine(MessageChannel);
}

// Sends "WARNING: Control characters replaced by '?' in " + WHAT + " '" +
// the text of NAME + "'": bytes of the design that would have broken the
// netlist's lines were written as the replacement character.
void ReportReplaced(const char* what, int name) {
    const char replacement[] = {ControlReplacement, '\0'};
    WriteString(MessageChannel, "WARNING: Control characters replaced by '");
    WriteString(MessageChannel, replacement);
    WriteString(MessageChannel, "' in ");
    WriteString(MessageChannel, what);
    WriteString(MessageChannel, " '");
    PrintVariable(MessageChannel, name);
    WriteString(MessageChannel, "'");
    EndLine(MessageChannel);
    WarnAboutName();
}

int InitHook() {
    WriteString(MessageChannel, "Creating Netlist...");
    EndLine(MessageChannel);
    Layout.error = RegisterSymbol("Error");
    AssignText(Layout.error, "E");
    Layout.referencestr = RegisterSymbol("ReferenceStr");
    Layout.signalnamestr = RegisterSymbol("SignalNameStr");
    Layout.tracewidth = RegisterSymbol("TraceWidth");
    SetIntegerWidth(NetNumberWidth);
    Layout.NetChannel = FirstOutputChannel;
    Layout.shared = false;
    ReleaseLayout();  // what a run that was never released left
    return 0;
}

int HeaderHook() {
    SetLegalCharacters(LegalNameCharacters);
    WriteString(FirstOutputChannel, HeaderLine);
    EndLine(FirstOutputChannel);
    WriteString(FirstOutputChannel, "*PART*");
    EndLine(FirstOutputChannel);
    while (NextPart()) {
        WrittenName note = {};
        char written[ReferenceWidth + 1] = "";  // as the pin items have it: cut, never filled
        if (CopyToSymbol(V::PartReference, Layout.referencestr)) {
            const char* reference = FindSymbol(Layout.referencestr)->value;
            std::strncat(written, reference, ReferenceWidth);
            note = NoteName(&Layout.references, written, reference);
        }
        int legal = IsLegalSymbol(Layout.referencestr);
        PadSymbol(Layout.referencestr, ReferenceWidth);
        // An illegal reference is written as it stands, cut or filled all
        // the same; only one warning per reference.
        if (!legal) {
            WriteString(MessageChannel, "WARNING: Reference contains illegal characters '");
            PrintVariable(MessageChannel, V::PartReference);
            WriteString(MessageChannel, "'");
            EndLine(MessageChannel);
            Warn();
        } else if (VariableLength(V::PartReference) > ReferenceWidth) {
            WriteString(MessageChannel, "WARNING: Reference is too long '");
            PrintVariable(MessageChannel, V::PartReference);
            WriteString(MessageChannel, "', truncated to ");
            PrintVariable(MessageChannel, Layout.referencestr);
            EndLine(MessageChannel);
            Warn();
        }
        int32_t replaced = PrintDesignText(FirstOutputChannel, Layout.referencestr);
        WriteString(FirstOutputChannel, " ");
        replaced += PrintDesignText(FirstOutputChannel,
                                    VariableLength(V::PartFootprint) > 0 ? V::PartFootprint : V::PartValue);
        EndLine(FirstOutputChannel);
        if (replaced > 0) ReportReplaced("part", V::PartReference);
        ReportSharedName(note, MsgReferencesShareName);
    }
    EndLine(FirstOutputChannel);
    SetLegalCharacters(LegalNameCharacters);
    WriteString(FirstOutputChannel, "*NET*");
    EndLine(FirstOutputChannel);
    return 0;
}

int NetHook() {
    Layout.PinsOnLine = 0;
    Layout.NetReplaced = 0;
    AssignNetProperty(TraceWidthProperty, Layout.tracewidth);
    Layout.NetChannel = VariableLength(Layout.tracewidth) > 0 ? TemporaryChannel : FirstOutputChannel;
    WriteString(Layout.NetChannel, "*SIGNAL* ");
    int32_t type = IntegerValue(V::NetType);
    int copied = CopyToSymbol(V::NetName, Layout.signalnamestr);
    if (!IsLegalSymbol(Layout.signalnamestr)) {
        ReportNetName("WARNING: Name contains illegal characters '");
        WarnAboutName();
        type = 'N';
    }
    if (VariableLength(Layout.signalnamestr) > NetNameLimit) {
        ReportNetName("WARNING: Name is too long '");
        WarnAboutName();
        type = 'N';
    }
    const UserSymbol* signalname = FindSymbol(Layout.signalnamestr);
    const char* name = copied && signalname != nullptr ? signalname->value : nullptr;  // null: unchecked
    char number[1 + IntegerTextLimit + 1] = "X";  // the label of a net known by its number
    const char* label = nullptr;  // the label written, when it is a name
    switch (type) {
        case 'L':
        case 'P':
        case 'S':
            PrintVariable(Layout.NetChannel, Layout.signalnamestr);
            if (name != nullptr && name[0] != '\0') label = name;
            break;
        case 'N':
        case 'U':
            FormatInteger(number + 1, sizeof number - 1, IntegerValue(V::NetNumber));
            WriteString(Layout.NetChannel, number);
            label = number;
            break;
        default: break;  // an unknown type letter gets no label
    }
    WrittenName note = {};
    if (label != nullptr && name != nullptr) note = NoteName(&Layout.labels, label, name);
    if (Layout.NetChannel == TemporaryChannel) {
        WriteString(TemporaryChannel, " ");
        Layout.NetReplaced += PrintDesignText(TemporaryChannel, Layout.tracewidth);
    }
    EndLine(Layout.NetChannel);
    ReportSharedName(note, MsgNetsShareName);
    return 0;
}

int PinHook() {
    if (Layout.PinsOnLine == PinItemsPerLine) {
        EndLine(Layout.NetChannel);
        Layout.PinsOnLine = 0;
    }
    // Pin items are cut like part lines but never filled; a reference that
    // fits is written as it stands, without a copy into ReferenceStr, and
    // the item goes out in one piece. A reference's replaced bytes were
    // reported with its part line.
    char item[PinItemSize];
    std::size_t length = 0;
    if (Layout.PinsOnLine != 0) item[length++] = ' ';
    std::size_t reference = length;
    if (StageDesignText(item, sizeof item, &length, V::PartReference) >= 0 && length - reference <= ItemReferenceLimit) {
        item[length++] = '.';
        int32_t replaced = StageDesignText(item, sizeof item, &length, V::PinNumber);
        if (replaced >= 0) {
            WriteString(Layout.NetChannel, item);
            Layout.NetReplaced += replaced;
            Layout.PinsOnLine++;
            return 0;
        }
    }
    // A reference to cut, or an item longer than any the file can give.
    if (Layout.PinsOnLine != 0) WriteString(Layout.NetChannel, " ");
    if (VariableLength(V::PartReference) > ReferenceWidth) {
        CopyToSymbol(V::PartReference, Layout.referencestr);
        PadSymbol(Layout.referencestr, ReferenceWidth);
        PrintDesignText(Layout.NetChannel, Layout.referencestr);
    } else {
        PrintDesignText(Layout.NetChannel, V::PartReference);
    }
    WriteString(Layout.NetChannel, ".");
    Layout.NetReplaced += PrintDesignText(Layout.NetChannel, V::PinNumber);
    Layout.PinsOnLine++;
    return 0;
}

int NetEndHook() {
    EndLine(Layout.NetChannel);
    if (Layout.NetReplaced > 0) ReportReplaced("net", V::NetName);
    return 0;
}

int EndHook() {
    // Set here, after every warning: a later reference warning would have
    // turned the status back to "W".
    if (Layout.shared) AssignText(ExitTypeSymbol, "E");
    // Without the gathered blocks the file lacks every net with a trace
    // width: that is an error, not a netlist.
    if (!ConcatenateChannel(FirstOutputChannel, TemporaryChannel)) AssignText(ExitTypeSymbol, "E");
    WriteString(FirstOutputChannel, "*END*");
    EndLine(FirstOutputChannel);
    // "Done" only for a netlist that reached the system whole; a failed
    // write was reported where it was found.
    FlushChannel(FirstOutputChannel);
    if (ChannelWriteFailed()) {
        AssignText(ExitTypeSymbol, "E");
        return 0;
    }
    WriteString(MessageChannel, "Done");
    EndLine(MessageChannel);
    return 0;
}

}  // namespace

void ReleaseLayout() {
    ReleaseNameSet(&Layout.references);
    ReleaseNameSet(&Layout.labels);
}

const FormatProgram LayoutProgram = {InitHook, HeaderHook, NetHook, PinHook, NetEndHook, EndHook};
