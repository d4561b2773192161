// Components by name, parts by reference, and the order of the parts
// table. The tables' appends (reader/tables.h) tell this module of every
// new component and part; every Find* here changes nothing.
#pragma once

#include <cstdint>

struct ComponentDef;
struct PartInstance;

// Takes note of the component appended at INDEX and of the PART appended
// last; 1, or 0 without memory (the caller then takes the record back).
int NoteComponent(int32_t index);
int NotePart(PartInstance* part);

// First component definition of that exact name, its index stored; or null
// and -1.
ComponentDef* FindComponentDef(const char* name, int32_t* index);
// The part of that exact reference, or null: one probe, at any time.
PartInstance* FindPartByReference(const char* reference);
// Asks the cache for what FindPartByReference will read first.
void PrefetchPartReference(const char* reference);

// Sorts the parts added since the last call in among the earlier ones and
// gives the reference of the first entry of the first pair of neighbours
// that are equal ignoring letter case, or null.
const char* SortNewParts();
// Finishes the order SortNewParts began: the parts stand as one sorted
// table, and every connection holds its part's index in it. The parts
// table's order is only read once this is done.
void SettlePartOrder();
// Binary search of the sorted parts table; the index or -1.
int32_t FindPart(const char* reference);

// Frees what this module holds; part of the design tables' release.
void ReleaseParts();
