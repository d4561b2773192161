// Combine templates: literal text with {property} references, from which part
// values and footprints are composed.
#pragma once

#include <cstdint>

#include "reader/tokens.h"

struct Property;

constexpr int32_t LiteralSegment = 0;
constexpr int32_t PropertyReferenceSegment = 1;
// An expansion holds at most as many characters as a token; longer ones
// are cut.
constexpr int ExpansionLimit = TokenLimit;

// A literal's text holds at most this many characters; longer runs are cut.
constexpr int SegmentLimit = TokenLimit;
constexpr int ReplacedWordBits = 32;

struct TemplateSegment {
    TemplateSegment* next;
    int32_t kind;      // LiteralSegment or PropertyReferenceSegment
    const char* text;  // owned: literal text or property name
    // A bit per character of a literal's text: set where a control byte of
    // the file was replaced, so a cut expansion counts only what it kept.
    uint32_t replaced[(SegmentLimit + ReplacedWordBits - 1) / ReplacedWordBits];
};

struct CombineTemplate {
    TemplateSegment* first;  // null for an empty template
};

extern CombineTemplate PartValueCombine;   // "partvaluecombine"
extern CombineTemplate FootprintCombine;   // "pcbfootprintcombine"

// ParseCombineTemplate's result when a segment could not be allocated; the
// template then holds what a malformed text would have left.
constexpr int TemplateNoMemory = -1;

// Parses TEXT into TEMPLATE; 1 when the whole text was parsed, 0 on a
// malformed text (the segments appended before the fault are kept), or
// TemplateNoMemory.
int ParseCombineTemplate(const char* text, CombineTemplate* tmpl);
// Expands TEMPLATE over PROPERTIES into the shared expansion buffer, which
// stays valid until the next expansion. Control bytes of property values
// are replaced on the way in, like those a literal held in the file; the
// tabs and line feeds of the template's escapes are all that remain.
const char* ExpandTemplate(const CombineTemplate* tmpl, const Property* properties);
// How many control bytes of the design the latest expansion replaced, in
// the property values and the literals as far as they were appended.
int32_t ExpansionReplacedControls();

// What ExpandGrowingList remembers of one property list between calls: the
// first value of each property reference found so far and the last property
// compared. Start it with StartLookups for every new list.
// Every reference takes at least its two braces, so a template of one
// token holds at most this many.
constexpr int LookupLimit = TokenSize / 2;
static_assert(LookupLimit * 2 > TokenLimit, "a template token holds more references than the lookups");
struct TemplateLookups {
    const Property* compared;          // the last property compared; null: none yet
    int32_t missing;                   // references not found yet; -1 before the first call
    const char* found[LookupLimit];    // by reference, in segment order; null: not yet found
};
void StartLookups(TemplateLookups* lookups);
// ExpandTemplate over a list that only grows at its end between calls with
// the same LOOKUPS: only the properties appended since the last call are
// compared, so a record given many property groups costs what its
// properties cost. TEMPLATE must not change between those calls.
const char* ExpandGrowingList(const CombineTemplate* tmpl, const Property* properties, TemplateLookups* lookups);
// Value of the first property named exactly NAME, or EmptyText.
const char* FindProperty(const char* name, const Property* properties);
// Frees both templates and leaves them empty.
void ReleaseTemplates();
