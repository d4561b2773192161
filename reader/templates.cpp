// Combine templates: parsing "partvaluecombine" and "pcbfootprintcombine"
// texts into segments, expanding them over property lists, property lookup.
#include "reader/templates.h"

#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/text.h"

CombineTemplate PartValueCombine = {nullptr};
CombineTemplate FootprintCombine = {nullptr};

namespace {

// The one expansion area that every expansion overwrites.
char ExpansionBuffer[ExpansionLimit + 1];
// Control bytes of the design that the latest expansion replaced.
int32_t ExpansionReplaced = 0;

// Characters collected for the segment being built.
struct Collector {
    char text[SegmentLimit + 1];
    int length;
    uint32_t replaced[sizeof TemplateSegment::replaced / sizeof(uint32_t)];  // as in the segment
};

void Collect(Collector& collector, char c) {
    if (collector.length < SegmentLimit) collector.text[collector.length++] = c;
}

const char* Collected(Collector& collector) {
    collector.text[collector.length] = '\0';
    return collector.text;
}

void FreeSegments(TemplateSegment* segment) {
    while (segment != nullptr) {
        TemplateSegment* next = segment->next;
        FreeText(segment->text);
        ReleaseMemory(segment);
        segment = next;
    }
}

// A character of the file's own text: a control byte is replaced.
void CollectFromFile(Collector& collector, char c) {
    if (IsReplacedByte(c, false) && collector.length < SegmentLimit) {
        c = ControlReplacement;
        collector.replaced[collector.length / ReplacedWordBits] |= uint32_t{1} << (collector.length % ReplacedWordBits);
    }
    Collect(collector, c);
}

// Appends TEXT to the expansion buffer of LENGTH characters, cutting at its
// end; a property value's control bytes are replaced (REPLACE). Gives how
// many characters were appended.
std::size_t AppendExpansion(int& length, const char* text, bool replace) {
    std::size_t room = static_cast<std::size_t>(ExpansionLimit - length);
    std::size_t size = std::strlen(text);
    if (size > room) size = room;
    char* to = ExpansionBuffer + length;
    if (replace)
        ExpansionReplaced += static_cast<int32_t>(CopyReplacingControls(to, text, size, false));
    else
        std::memcpy(to, text, size);
    length += static_cast<int>(size);
    ExpansionBuffer[length] = '\0';
    return size;
}

// Expands TEMPLATE into the expansion buffer, taking the value of the
// REFERENCE-th property reference (counted from 0) from VALUEOF.
template <typename ValueOf>
const char* Expand(const CombineTemplate* tmpl, ValueOf valueof) {
    int length = 0;
    int reference = 0;
    ExpansionBuffer[0] = '\0';
    ExpansionReplaced = 0;
    for (const TemplateSegment* segment = tmpl->first; segment != nullptr; segment = segment->next) {
        if (segment->kind == PropertyReferenceSegment) {
            AppendExpansion(length, valueof(segment, reference++), true);
        } else {
            // Only what the cut kept of a literal was written.
            std::size_t kept = AppendExpansion(length, segment->text, false);
            for (std::size_t i = 0; i < kept; i++)
                ExpansionReplaced += (segment->replaced[i / ReplacedWordBits] >> (i % ReplacedWordBits)) & 1;
        }
    }
    return ExpansionBuffer;
}

// Appends a segment after LAST (null: the first of this parse, which replaces
// the template's old segments); gives the new segment, or null without memory.
TemplateSegment* AppendSegment(TemplateSegment* last, int32_t kind, const char* text, CombineTemplate* tmpl) {
    TemplateSegment* segment = static_cast<TemplateSegment*>(AllocateMemory(sizeof(TemplateSegment)));
    char* copy = segment != nullptr ? CopyText(text) : nullptr;
    if (copy == nullptr) {
        ReleaseMemory(segment);
        return nullptr;
    }
    segment->next = nullptr;
    segment->kind = kind;
    segment->text = copy;
    std::memset(segment->replaced, 0, sizeof segment->replaced);
    if (last == nullptr) {
        // The first segment of a parse replaces the template's old ones.
        FreeSegments(tmpl->first);
        tmpl->first = segment;
    } else {
        last->next = segment;
    }
    return segment;
}

}  // namespace

int ParseCombineTemplate(const char* text, CombineTemplate* tmpl) {
    Collector literal{};
    TemplateSegment* last = nullptr;
    const char* c = text;
    while (*c != '\0') {
        if (*c == '{') {
            if (literal.length > 0) {
                last = AppendSegment(last, LiteralSegment, Collected(literal), tmpl);
                if (last == nullptr) return TemplateNoMemory;
                std::memcpy(last->replaced, literal.replaced, sizeof literal.replaced);
                literal = Collector{};
            }
            // References do not nest and know no escapes: every character up
            // to the next "}" belongs to the name.
            const char* close = std::strchr(c + 1, '}');
            if (close == nullptr) return 0;
            Collector name{};
            for (const char* n = c + 1; n < close; n++) Collect(name, *n);
            last = AppendSegment(last, PropertyReferenceSegment, Collected(name), tmpl);
            if (last == nullptr) return TemplateNoMemory;
            c = close + 1;
        } else if (*c == '\\') {
            if (c[1] == '\0') return 0;
            if (c[1] == 't') {
                Collect(literal, '\t');
            } else if (c[1] == 'n') {
                Collect(literal, '\n');
            } else {
                Collect(literal, '\\');
                CollectFromFile(literal, c[1]);
            }
            c += 2;
        } else {
            CollectFromFile(literal, *c++);
        }
    }
    if (literal.length > 0) {
        last = AppendSegment(last, LiteralSegment, Collected(literal), tmpl);
        if (last == nullptr) return TemplateNoMemory;
        std::memcpy(last->replaced, literal.replaced, sizeof literal.replaced);
    }
    return 1;
}

const char* ExpandTemplate(const CombineTemplate* tmpl, const Property* properties) {
    return Expand(tmpl, [properties](const TemplateSegment* segment, int) {
        return FindProperty(segment->text, properties);
    });
}

int32_t ExpansionReplacedControls() { return ExpansionReplaced; }

void StartLookups(TemplateLookups* lookups) {
    lookups->compared = nullptr;
    lookups->missing = -1;
}

const char* ExpandGrowingList(const CombineTemplate* tmpl, const Property* properties, TemplateLookups* lookups) {
    int references = 0;
    for (const TemplateSegment* segment = tmpl->first; segment != nullptr; segment = segment->next)
        if (segment->kind == PropertyReferenceSegment) references++;
    if (references > LookupLimit) return ExpandTemplate(tmpl, properties);
    if (lookups->missing < 0) {
        for (int i = 0; i < references; i++) lookups->found[i] = nullptr;
        lookups->missing = references;
    }
    // The first property of a name stays the first as the list grows, so a
    // value once found is kept and only new properties are compared; once
    // every reference is found, none is.
    const Property* property = lookups->compared != nullptr ? lookups->compared->next : properties;
    for (; property != nullptr && lookups->missing > 0; property = property->next) {
        lookups->compared = property;
        int reference = 0;
        for (const TemplateSegment* segment = tmpl->first; segment != nullptr; segment = segment->next) {
            if (segment->kind != PropertyReferenceSegment) continue;
            const char*& found = lookups->found[reference++];
            if (found == nullptr && std::strcmp(property->name, segment->text) == 0) {
                found = property->value;
                lookups->missing--;
            }
        }
    }
    return Expand(tmpl, [lookups](const TemplateSegment*, int reference) {
        const char* found = lookups->found[reference];
        return found != nullptr ? found : EmptyText;
    });
}

const char* FindProperty(const char* name, const Property* properties) {
    for (const Property* property = properties; property != nullptr; property = property->next)
        if (std::strcmp(property->name, name) == 0) return property->value;
    return EmptyText;
}

void ReleaseTemplates() {
    FreeSegments(PartValueCombine.first);
    PartValueCombine.first = nullptr;
    FreeSegments(FootprintCombine.first);
    FootprintCombine.first = nullptr;
}
