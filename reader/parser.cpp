// The section parsers: one forward pass over the intermediate file that fills
// the design tables, the header, the templates and the pipetext, checking the
// design on the way and stopping at its first fault.
#include "reader/parser.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/report.h"
#include "reader/design.h"
#include "reader/parts.h"
#include "reader/pinorder.h"
#include "reader/tables.h"
#include "reader/templates.h"
#include "reader/tokens.h"
#include "resources/messages.h"

namespace {

using Token = char[TokenSize];

bool Is(const char* token, const char* text) { return std::strcmp(token, text) == 0; }
bool IsOpen(const char* token) { return Is(token, "("); }
bool IsClose(const char* token) { return Is(token, ")"); }

// The skeleton of every section and group reader: reads the tokens after a
// group's opening word, counting the levels of "(" and ")", and hands each
// word with its level to WORD. WORD gives 0 to stop the read, 1 to go on; it
// may read tokens itself and set LEVEL to account for the groups it read
// whole. The group's ")" ends the read with 1, the end of the file with 0.
// A WHOLEFILE read counts on past that ")" and gives 1 at the end of the
// file.
template <typename WordReader>
int ReadGroup(TextFile* file, WordReader word, bool wholefile = false) {
    int level = 1;
    Token token;
    while (ReadToken(file, token)) {
        if (IsOpen(token)) {
            level++;
        } else if (IsClose(token)) {
            if (--level == 0 && !wholefile) return 1;
        } else if (!word(token, level)) {
            return 0;
        }
    }
    return wholefile ? 1 : 0;
}

// Replaces FIELD by a copy of TEXT, freeing the old text; 0 (field as it
// was) when no memory can be had.
int ReplaceText(const char*& field, const char* text) {
    char* copy = CopyText(text);
    if (copy == nullptr) return 0;
    FreeText(field);
    field = copy;
    return 1;
}

// ---- Property groups -------------------------------------------------------

// A property of NAME (carved already) holding a copy of VALUE, carved with
// the design; null without memory.
Property* NewProperty(const char* name, const char* value) {
    Property* property = static_cast<Property*>(CarveRecord(Arena::Design, sizeof(Property), Fill::Unset));
    if (property == nullptr) return nullptr;
    property->next = nullptr;
    property->name = name;
    property->value = CarveSharedText(value);
    return property->value != nullptr ? property : nullptr;
}

// Reads a property group from just after its word "property" up to and
// including its ")": the tokens at level 2 alternate name and value, and each
// complete pair is appended at END, the last link of a record's property list,
// which follows the list. Callers keep END for as long as the record can take
// groups: a record given many groups is never walked. KEYWORD sees every
// level-2 token first and gives 1 when it took the token (and its value) for a
// record field, 0 when the token is an ordinary name or value, -1 on failure.
// 1, or 0 at the end of the file or without memory.
template <typename KeywordReader>
int ReadPropertyGroup(TextFile* file, Property**& end, KeywordReader keyword) {
    // A property is made when its value comes: a name left without one
    // costs no record, only its text.
    const char* name = nullptr;
    return ReadGroup(file, [file, &end, &keyword, &name](const char* token, int level) {
        if (level != 2) return 1;
        int taken = keyword(file, token);
        if (taken != 0) return taken > 0 ? 1 : 0;
        if (name == nullptr) {
            name = CarveSharedText(token);
            return name != nullptr ? 1 : 0;
        }
        Property* property = NewProperty(name, token);
        if (property == nullptr) return 0;
        *end = property;
        end = &property->next;
        name = nullptr;
        return 1;
    });
}

// Reads the value that a property keyword takes into VALUE; -1 at the end of
// the file.
int ReadKeywordValue(TextFile* file, char* value) { return ReadToken(file, value) ? 1 : -1; }

int ReadPropertyList(TextFile* file, Property**& end) {
    return ReadPropertyGroup(file, end, [](TextFile*, const char*) { return 0; });
}

int ReadComponentProperties(TextFile* file, ComponentDef* component, Property**& end) {
    return ReadPropertyGroup(file, end, [component](TextFile* from, const char* token) {
        if (!Is(token, "sourcelib")) return 0;
        Token value;
        if (ReadKeywordValue(from, value) < 0) return -1;
        return ReplaceText(component->sourcelib, value) ? 1 : -1;
    });
}

int ReadPinProperties(TextFile* file, LibPin* pin, Property**& end) {
    return ReadPropertyGroup(file, end, [pin](TextFile* from, const char* token) {
        const char** field = Is(token, "pinname") ? &pin->pinname : Is(token, "lpinname") ? &pin->lpinname : nullptr;
        if (field == nullptr && !Is(token, "pintype")) return 0;
        Token value;
        if (ReadKeywordValue(from, value) < 0) return -1;
        if (field != nullptr) return ReplaceText(*field, value) ? 1 : -1;
        pin->pintype = static_cast<signed char>(value[0]) - '0';
        return 1;
    });
}

int ReadNetProperties(TextFile* file, Net* net, Property**& end) {
    return ReadPropertyGroup(file, end, [net](TextFile* from, const char* token) {
        bool type = Is(token, "nettype");
        if (!type && !Is(token, "netdir")) return 0;
        Token value;
        if (ReadKeywordValue(from, value) < 0) return -1;
        if (type)
            net->nettype = value[0];
        else
            net->netdir = static_cast<uint8_t>(static_cast<unsigned char>(value[0]) - '0');
        return 1;
    });
}

// ---- Placement -------------------------------------------------------------

// Sorts the section's parts in and checks for duplicate references; 1, or 0
// after message 17.
int FinishPlacement() {
    // The order is byte-wise, so only references that differ in letter case
    // alone and still sort next to each other are caught (U1 u1, not U1 U2 u1).
    const char* duplicate = SortNewParts();
    if (duplicate == nullptr) return 1;
    ReportFilledMessage(MsgDuplicateReference, duplicate);
    return 0;
}

// Makes VALUE the part's value; 0 (value as it was) without memory. The
// first composed value is carved with the design, as nearly every part has
// just one; a part given more groups recomposes on the heap, freeing as it
// goes, so that no number of groups piles texts up.
int ComposePartValue(PartInstance* part, const char* value) {
    if (!part->composed) {
        const char* copy = CarveSharedText(value);
        if (copy == nullptr) return 0;
        part->value = copy;
        return 1;
    }
    char* copy = CopyText(value);
    if (copy == nullptr) return 0;
    if (part->valueowned) FreeText(part->value);
    part->value = copy;
    part->valueowned = 1;
    return 1;
}

int ReadPlacement(TextFile* file) {
    int32_t component = 0;
    PartInstance* part = nullptr;
    Property** end = nullptr;  // where the part's next property goes
    // The template's lookups over the part's properties so far.
    TemplateLookups lookups;
    auto word = [&](const char* token, int& level) {
        if (level == 2 && SameTextIgnoringCase(token, "component")) {
            Token name;
            if (!ReadToken(file, name)) return 0;
            if (AddComponentDef(name, &component) == nullptr) {
                ReportMessage(MsgPartsOutOfMemory);
                return 0;
            }
        } else if (level == 3 && SameTextIgnoringCase(token, "place")) {
            Token reference;
            if (!ReadToken(file, reference)) return 0;
            // Without any component definition the part would have no
            // component and no value to take.
            if (Design.componentcount == 0) return 0;
            part = AddPartInstance(reference, component, nullptr);
            if (part == nullptr) {
                ReportMessage(MsgPartsOutOfMemory);
                return 0;
            }
            // The component's name serves as it stands until a template
            // composes the value.
            part->value = Design.components[component]->name;
            end = &part->properties;
            StartLookups(&lookups);
        } else if (level == 4 && part != nullptr && SameTextIgnoringCase(token, "property")) {
            if (!ReadPropertyList(file, end)) return 0;
            level = 3;
            // Even an empty template recomposes the value (to "").
            if (!ComposePartValue(part, ExpandGrowingList(&PartValueCombine, part->properties, &lookups))) return 0;
            part->composed = 1;
            part->replaced = ExpansionReplacedControls();
        }
        return 1;
    };
    return ReadGroup(file, word) ? FinishPlacement() : 0;
}

// ---- Library ---------------------------------------------------------------

// A new pin NUMBER of component definition COMPONENT, or null.
LibPin* NewLibPin(const char* number, int32_t component) {
    LibPin* pin = static_cast<LibPin*>(CarveRecord(Arena::Design, sizeof(LibPin), Fill::Zeroed, CacheLine));
    if (pin == nullptr) return nullptr;
    pin->number = CarveText(Arena::Design, number);
    if (pin->number == nullptr) return nullptr;
    pin->component = component;
    pin->numbervalue = PinNumberValue(number);
    pin->pinname = EmptyText;
    pin->lpinname = EmptyText;
    return pin;
}

int ReadLibrary(TextFile* file) {
    ComponentDef* component = nullptr;  // selected by the latest "image"
    int32_t index = -1;
    Property** componentend = nullptr;  // where the selected component's next property goes
    LibPin* pin = nullptr;  // latest "pin" of the selected component
    Property** pinend = nullptr;  // where its next property goes
    return ReadGroup(file, [&](const char* token, int& level) {
        if (SameTextIgnoringCase(token, "image")) {
            Token name;
            if (!ReadToken(file, name)) return 0;
            component = FindComponentDef(name, &index);
            // A pin of the previous image never takes this image's properties.
            pin = nullptr;
            if (component == nullptr) {
                SkipGroup(file);
                level--;
                return 1;
            }
            // A definition selected again by a later image takes its groups
            // after those it has: its list is walked once per image, not per group.
            componentend = &component->properties;
            while (*componentend != nullptr) componentend = &(*componentend)->next;
        } else if (component != nullptr && SameTextIgnoringCase(token, "pin")) {
            Token ignored;
            Token number;
            if (!ReadToken(file, ignored) || !ReadToken(file, number)) return 0;
            pin = NewLibPin(number, index);
            if (pin == nullptr) return 0;
            pinend = &pin->properties;
            InsertLibPin(component, pin);
        } else if (component != nullptr && SameTextIgnoringCase(token, "property")) {
            if (level == 3) {
                if (!ReadComponentProperties(file, component, componentend)) return 0;
                level = 2;
            } else if (level == 4 && pin != nullptr) {
                if (!ReadPinProperties(file, pin, pinend)) return 0;
                level = 3;
            }
        }
        return 1;
    });
}

// ---- Network ---------------------------------------------------------------

struct NetworkState {
    Net* net = nullptr;            // latest "net" of the section
    int32_t netindex = -1;
    NetPin* lastonnet = nullptr;   // end of the net's connection list
    NetPin* latest = nullptr;      // takes a following "(property" group
    Property** netend = nullptr;   // where the net's next property goes
    Property** latestend = nullptr;  // where the latest connection's next property goes
};

// Checks and attaches the connection REFERENCE-PIN to the current net; 1, or
// 0 after message 24, 23 or 3 (or without memory), the connection dropped.
// PROBE is where the search for its part starts.
int AddConnection(NetworkState& state, const char* reference, const char* pin, const HashProbe& probe) {
    NetPin* connection = static_cast<NetPin*>(CarveRecord(Arena::Design, sizeof(NetPin), Fill::Unset));
    if (connection == nullptr) return 0;
    *connection = NetPin{nullptr, nullptr, nullptr, -1, state.netindex, nullptr};
    Design.netpincount++;
    int32_t partindex = FinishPartProbe(reference, probe);
    if (partindex < 0) {
        ReportMessage(MsgReferenceNotFound);
        return 0;
    }
    PartInstance* part = Design.parts[partindex];
    connection->libpin = FindLibPin(Design.components[part->component], pin);
    if (connection->libpin == nullptr) {
        ReportFilledMessage(MsgPinMismatch, reference, pin);
        return 0;
    }
    connection->part = partindex;
    if (!InsertNetPin(part, connection)) {
        ReportFilledMessage(MsgDuplicatePin, reference, pin);
        return 0;
    }
    if (state.lastonnet != nullptr)
        state.lastonnet->nextonnet = connection;
    else
        state.net->netpins = connection;
    state.lastonnet = connection;
    state.latest = connection;
    state.latestend = &connection->properties;
    return 1;
}

// Connections are read a run at a time, and what the run will look up is
// asked of the cache before the first of them is checked: their lookups
// then wait on memory together, not one after another. The checks run in
// file order, as they come, and look everything up themselves.
constexpr int ConnectionRun = 32;

void ReadAhead(const char (*references)[TokenSize], const char (*numbers)[TokenSize], int count, HashProbe* probes) {
    int32_t indexes[ConnectionRun];
    PinHint hints[ConnectionRun];
    int hinted = 0;
    for (int i = 0; i < count; i++) probes[i] = StartPartProbe(references[i]);
    for (int i = 0; i < count; i++) {
        indexes[i] = FinishPartProbe(references[i], probes[i]);
        if (indexes[i] >= 0) PrefetchMemory(&Design.parts[indexes[i]]);
    }
    for (int i = 0; i < count; i++) {
        if (indexes[i] < 0) continue;
        hints[hinted++] = PinHint{Design.parts[indexes[i]], numbers[i], nullptr, -1};
        PrefetchMemory(Design.parts[indexes[i]]);
    }
    PrefetchConnections(hints, hinted);
}

// Reads the connections of a "pins" group up to and including its ")".
int ReadConnections(TextFile* file, NetworkState& state) {
    Token references[ConnectionRun];
    Token numbers[ConnectionRun];
    HashProbe probes[ConnectionRun];
    for (;;) {
        int count = 0;
        bool whole = true;       // false: the file ended or a connection was cut short
        char* ending = nullptr;  // the "(" or ")" that ended the run
        while (count < ConnectionRun) {
            if (ReadConnectionTokens(file, references[count], numbers[count])) {
                count++;
                continue;
            }
            char* token = references[count];
            if (!ReadToken(file, token)) {
                whole = false;
                break;
            }
            if (IsOpen(token) || IsClose(token)) {
                ending = token;
                break;
            }
            Token dash;
            if (!ReadToken(file, dash) || !Is(dash, "-") || !ReadToken(file, numbers[count])) {
                whole = false;
                break;
            }
            count++;
        }
        ReadAhead(references, numbers, count, probes);
        for (int i = 0; i < count; i++)
            if (!AddConnection(state, references[i], numbers[i], probes[i])) return 0;
        if (!whole) return 0;
        if (ending == nullptr) continue;
        if (IsClose(ending)) return 1;
        Token token;
        if (!ReadToken(file, token)) return 0;
        if (SameTextIgnoringCase(token, "property") && state.latest != nullptr) {
            if (!ReadPropertyList(file, state.latestend)) return 0;
        } else if (IsOpen(token)) {
            // The inner group, then the outer one.
            SkipGroup(file);
            SkipGroup(file);
        } else if (!IsClose(token)) {
            // "()" is closed already; skipping on would eat the pins.
            SkipGroup(file);
        }
    }
}

int ReadNetwork(TextFile* file) {
    // Connections find their parts in the order the placements left.
    if (!SettlePartOrder()) {
        ReportMessage(MsgPartsOutOfMemory);
        return 0;
    }
    NetworkState state;
    return ReadGroup(file, [&](const char* token, int& level) {
        if (SameTextIgnoringCase(token, "net")) {
            Token name;
            if (!ReadToken(file, name)) return 0;
            state.net = AddNet(name, &state.netindex);
            if (state.net == nullptr) {
                ReportMessage(MsgNetsOutOfMemory);
                return 0;
            }
            state.lastonnet = nullptr;
            state.latest = nullptr;
            state.netend = &state.net->properties;
        } else if (SameTextIgnoringCase(token, "pins")) {
            // Connections with no net to join cannot be kept.
            if (state.net == nullptr) return 0;
            if (!ReadConnections(file, state)) return 0;
            level--;
        } else if (level == 3 && state.net != nullptr && SameTextIgnoringCase(token, "property")) {
            if (!ReadNetProperties(file, state.net, state.netend)) return 0;
            level = 2;
        }
        return 1;
    });
}

// ---- Description and pipetext ------------------------------------------------

// A description keyword names a header field or a template.
struct DescriptionKeyword {
    const char* keyword;
    const char** field;
    CombineTemplate* tmpl;
};

const DescriptionKeyword DescriptionKeywords[] = {
#define ZEDID_HEADER_FIELD(field, variable) {#field, &Header.field, nullptr},
#include "reader/header_fields.def"
#undef ZEDID_HEADER_FIELD
    {"partvaluecombine", nullptr, &PartValueCombine},
    {"pcbfootprintcombine", nullptr, &FootprintCombine},
};

const DescriptionKeyword* FindDescriptionKeyword(const char* token) {
    for (const DescriptionKeyword& entry : DescriptionKeywords)
        if (SameTextIgnoringCase(token, entry.keyword)) return &entry;
    return nullptr;
}

int ReadDescription(TextFile* file) {
    return ReadGroup(file, [file](const char* token, int&) {
        const DescriptionKeyword* entry = FindDescriptionKeyword(token);
        if (entry == nullptr) return 1;
        Token value;
        if (!ReadToken(file, value)) return 0;
        // An empty value changes nothing.
        if (value[0] == '\0') return 1;
        if (entry->field != nullptr) return ReplaceText(*entry->field, value);
        // A malformed template keeps what could be parsed; only a lack of
        // memory stops the read.
        return ParseCombineTemplate(value, entry->tmpl) == TemplateNoMemory ? 0 : 1;
    });
}

int ReadPipeText(TextFile* file) {
    bool first = true;
    Token token;
    // No level is counted: the first ")" ends the section.
    while (ReadToken(file, token)) {
        if (IsClose(token)) return 1;
        // The section's first word replaces the list of an earlier section.
        if (!AddPipeText(token, first)) return 0;
        first = false;
    }
    return 0;
}

// ---- The file ----------------------------------------------------------------

struct Section {
    const char* keyword;
    int (*read)(TextFile* file);
};

const Section Sections[] = {
    {"placement", ReadPlacement}, {"library", ReadLibrary},   {"network", ReadNetwork},
    {"description", ReadDescription}, {"pipetext", ReadPipeText},
};

int ReadDesign(TextFile* file) {
    StartTokenReader(file);
    if (!StartDesignTables()) return 0;
    Token token;
    if (!ReadToken(file, token) || !IsOpen(token)) return 0;
    if (!ReadToken(file, token) || !SameTextIgnoringCase(token, "pcb")) return 0;
    // Groups after the design's own ")" are read on all the same.
    auto word = [file](const char* keyword, int& level) {
        if (level != 2) return 1;
        for (const Section& section : Sections) {
            if (!SameTextIgnoringCase(keyword, section.keyword)) continue;
            if (!section.read(file)) return 0;
            // The section parser took the section's ")".
            level = 1;
            break;
        }
        return 1;
    };
    return ReadGroup(file, word, true);
}

}  // namespace

int ReadIntermediateFile(TextFile* file) {
    int read = ReadDesign(file);
    // However the read ended, the parts stand sorted as one table.
    FinishDesignTables();
    return read;
}
