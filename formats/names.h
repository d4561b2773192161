// The names a netlist has been given so far, each with the design's own
// name of the object written under it, so that two objects that the layout
// tool would take for one are found as the second is written.
#pragma once

#include <cstddef>
#include <cstdint>

// One kind of name (part references, signal labels). Plain and zeroed at
// load time; ReleaseNameSet returns it to that state.
struct NameSet {
    struct NameSlot* slots;  // open addressing, at most two thirds in use; null: none yet
    uint32_t slotcount;      // slots held
    int32_t count;           // names held
    char* texts;             // each held name and its object's own name where that differs
    std::size_t used;        // bytes of texts in use
    std::size_t capacity;    // bytes of texts
};

// Notes that the object the design calls ORIGINAL is written as NAME.
// *EARLIER becomes the design's name of the first object written as NAME
// before, or null when NAME is new and is now held; *KEPT becomes the set's
// own copy of ORIGINAL. Both texts live in SET and stay valid until the next
// note. Names compare byte for byte. 1, or 0 when memory cannot be had (NAME
// is then not held).
int NoteWrittenName(NameSet* set, const char* name, const char* original, const char** kept,
                    const char** earlier);
// Frees what SET holds.
void ReleaseNameSet(NameSet* set);
