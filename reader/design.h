// The design: the records of the in-memory model of one design, the
// process-wide tables and header that hold them, and the memory they are
// carved from. Filled by the section parsers through reader/tables.h, read
// by the format runtime and freed by the run's release.
#pragma once

#include <cstddef>
#include <cstdint>

// Every table starts with this many slots and grows by as many.
constexpr int32_t TableStep = 256;

struct Property {
    Property* next;     // next property of the same record, file order
    const char* name;   // owned copy, or EmptyText
    const char* value;  // owned copy, or EmptyText
};

struct LibPin {
    LibPin* next;          // next pin of the same component, pin order
    const char* number;    // pin number as written in the file
    int32_t component;     // index of its component definition
    int32_t numbervalue;   // decimal value of a digit-only number, else -1
    int32_t pintype;       // first byte of "pintype" minus 48; 0 when none
    const char* pinname;   // "pinname" property, EmptyText when none
    const char* lpinname;  // "lpinname" property, EmptyText when none
    Property* properties;  // other pin properties, file order
};

struct NetPin {
    NetPin* nextonpart;    // next connection of the same part, pin order
    NetPin* nextonnet;     // next connection of the same net, file order
    LibPin* libpin;        // the pin it connects; not owned
    int32_t part;          // index of its part in the sorted parts table
    int32_t net;           // index of its net
    Property* properties;  // connection properties, file order
};

struct ComponentPins;
struct PartPins;

struct PartInstance {
    const char* reference;  // reference designator as written after "place"
    const char* value;      // part value: component name or template expansion; see valueowned
    NetPin* netpins;        // the part's connections, pin order; owned here
    Property* properties;   // part properties, file order
    int32_t component;      // index of its component definition
    int32_t valueowned;     // 1: value is a heap text of its own; 0: the component's name, or carved with the design
    PartPins* pinorder;     // what reader/pinorder keeps beside netpins; null: nothing
    int32_t composed;       // 1 when value is the partvaluecombine expansion, 0: the component name
    int32_t replaced;       // control bytes of the design that expansion replaced
};

struct ComponentDef {
    const char* name;       // as written after "component"
    const char* sourcelib;  // "sourcelib" of its image, EmptyText when none
    Property* properties;   // other image properties, file order
    LibPin* libpins;        // its pins, pin order
    ComponentPins* pinorder;  // what reader/pinorder keeps beside libpins; null: nothing
};

struct Net {
    const char* name;      // as written after "net"
    NetPin* netpins;       // its connections, file order; not owned
    int16_t localnumber;   // always 0 from the reader
    uint8_t netdir;        // first byte of "netdir" minus 48; 0 when none
    char nettype;          // first byte of "nettype"; 'L' when none
    Property* properties;  // other net properties, file order
};

struct DesignTables {
    PartInstance** parts;  // sorted by reference after each placement section
    int32_t partcount;
    int32_t partcapacity;
    ComponentDef** components;  // file order
    int32_t componentcount;
    int32_t componentcapacity;
    Net** nets;  // file order
    int32_t netcount;
    int32_t netcapacity;
    int32_t netpincount;  // connections made during the read
};

// The texts of the description section; EmptyText until it sets them.
struct DesignHeader {
#define ZEDID_HEADER_FIELD(field, variable) const char* field;
#include "reader/header_fields.def"
#undef ZEDID_HEADER_FIELD
};

// The words of the latest pipetext section that had any, in file order.
// Nothing in a run reads them, so they are kept as tightly as they come:
// each text with its terminating zero, one after the other, in blocks.
struct PipeTextBlock {
    PipeTextBlock* next;  // the block after this one
    std::size_t used;     // bytes of words that follow this header
    std::size_t size;     // bytes that follow this header
};

// The records of the design (properties, pins, connections, parts,
// component definitions, nets) and the texts a read never replaces are
// carved from large blocks that ReleaseDesignMemory frees at once; such a
// record or text is never freed on its own. A build with ZEDID_CARVE_APART
// takes each carving from the heap on its own instead, ending where the
// carving ends, so that a sanitizer or valgrind sees a byte written past it.
// (Declared before the process-wide Design, whose name an arena shares.)
enum class Arena {
    Design,  // every record and text but these:
    Parts,   // the parts and their references, which every connection and
             // line of the output reaches by lookup: kept apart, they fill
             // fewer pages
};
enum class Fill { Zeroed, Unset };  // Unset: for a record whose every field the caller writes
// SIZE bytes at a multiple of ALIGNMENT (a power of two) from ARENA; null
// when no block can be had. Records hold pointers and 32-bit numbers,
// nothing more strictly aligned than the default.
void* CarveRecord(Arena arena, std::size_t size, Fill fill, std::size_t alignment = alignof(void*));
// A copy of TEXT; null when no block can be had.
char* CarveText(Arena arena, const char* text);
// The Design arena's copy of TEXT, or an equal text carved earlier by this
// call: for texts that recur from record to record (property names and
// values), which are never changed or freed on their own. Null when no
// block can be had.
const char* CarveSharedText(const char* text);
// For a record that lookups fetch in no order of the file: carved at the
// start of a line, it and a short text carved after it are one line to fetch.
constexpr std::size_t CacheLine = 64;
// Frees every block carved so far (part of ReleaseDesignTables).
void ReleaseDesignMemory();

// The process-wide design of the current run.
extern DesignTables Design;
extern DesignHeader Header;
extern PipeTextBlock* PipeTextList;  // null while no section had words

// The decimal value of a non-empty digit-only pin number, else -1 (also for
// a number too large for int32).
int32_t PinNumberValue(const char* number);
// Byte-wise order of references; negative, zero or positive.
int CompareReferences(const char* a, const char* b);

// Appends a copy of WORD to the words of the pipetext section being read;
// FIRST marks the section's first word, whose list replaces the earlier
// one (freed then). 1, or 0 without memory (the earlier list is kept when
// the first word fails).
int AddPipeText(const char* word, bool first);

// Release of the header's texts and of the pipetext words.
void ReleaseDesignHeader();
void ReleasePipeText();
