// Indexes behind the design tables' linear lookups: a name index over the
// component table and a reference index over the sorted parts table, and
// the hashing they share with the pin lists' indexes (reader/pins.h). The
// test hook that says when indexes are made is in reader/index_testing.h.
// An index only ever gives the plain algorithm's answer (the first match in table order, the binary
// search's index), in constant time; when one cannot be allocated the plain
// algorithm answers.
#pragma once

#include <cstddef>
#include <cstdint>


// A plain scan or walk that passed this many entries asks for an index
// (never, while indexes are off).
int32_t IndexThreshold();
bool IndexesOn();

// Part references: 1 and the index of REFERENCE when the reference index
// finds it in the strictly sorted parts table, 0 when the binary search
// must answer (no index, an unsorted table, or a reference not there).
int FindIndexedPart(const char* reference, int32_t* index);

// The same answer in two steps and without side effects, for reading ahead:
// StartPartProbe finds where the search for REFERENCE starts and asks the
// cache for that slot; FinishPartProbe gives the part index, or -1 when the
// reference index as it stands cannot say (none, out of date, not there).
struct PartProbe {
    uint64_t key;  // PrefixKey of the reference
    int32_t slot;  // the first slot to look at; -1: no index up to date
};
PartProbe StartPartProbe(const char* reference);
int32_t FinishPartProbe(const char* reference, const PartProbe& probe);

// Component names. FindIndexedComponent gives 1 and the first index in table
// order holding NAME (-1: none) when the name index answers, 0 when there is
// none. IndexComponents makes the name index over the whole table;
// NoteComponentAdded keeps it up to date after an append at INDEX.
int FindIndexedComponent(const char* name, int32_t* index);
void IndexComponents();
void NoteComponentAdded(int32_t index);

// Frees the name and reference indexes; part of the design tables' release.
void ReleaseIndexes();

// ---- Hashing shared by the reader's indexes ----

constexpr uint32_t FirstSlots = 16;  // smallest hash table; always a power of two

uint32_t HashPointer(const void* pointer);
// The first eight bytes of TEXT in byte order, zeros after its end: keys
// order as the texts do, and equal keys with a zero last byte mean equal
// texts.
uint64_t PrefixKey(const char* text);
bool KeyHoldsWholeText(uint64_t key);
// The hash of a text whose PrefixKey is KEY.
uint32_t TextHash(const char* text, uint64_t key);
// Equal texts, the first of which has the PrefixKey KEY.
bool SameText(uint64_t key, const char* a, uint64_t otherkey, const char* b);
// A zeroed array of COUNT items of SIZE bytes from the platform heap, or null.
void* AllocateZeroed(std::size_t count, std::size_t size);
// The smallest power of two of at least FirstSlots that holds COUNT + 1
// entries with at most NUMERATOR / DENOMINATOR of its slots in use.
uint32_t SlotsFor(int32_t count, uint32_t numerator, uint32_t denominator);
