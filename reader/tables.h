// The design tables' operations: starting them, appending records, the
// lookups and the order of the parts, and their release.
#pragma once

#include <cstdint>

struct ComponentDef;
struct LibPin;
struct Net;
struct PartInstance;

// Starts the tables afresh for a read (a design left from an earlier read is
// released): counts 0, TableStep slots each; 0 when the memory cannot be had.
int StartDesignTables();
// Append a record with a copy of the text and the defaults; each gives the
// record and stores its index, or gives null (table unchanged) when memory
// cannot be had.
ComponentDef* AddComponentDef(const char* name, int32_t* index);
PartInstance* AddPartInstance(const char* reference, int32_t component, int32_t* index);
Net* AddNet(const char* name, int32_t* index);
// First component definition of that exact name, its index stored; or null
// and -1.
ComponentDef* FindComponentDef(const char* name, int32_t* index);
// Sorts the parts added since the last call in among the earlier ones and
// gives the reference of the first entry of the first pair of neighbours
// that are equal ignoring letter case, or null. Connections keep naming
// their parts.
const char* SortNewParts();
// Finishes the order SortNewParts began: the sorted parts stand as one
// sorted table. FindPart does this itself.
void SettlePartOrder();
// Binary search of the sorted parts table; the index or -1.
int32_t FindPart(const char* reference);
// What the lookups of a connection read ahead will give, where that is
// already known: good until parts are added or pins change.
struct ConnectionLookups {
    int32_t part;     // FindPart's index (or -1) for the reference; UnknownPart: only FindPart can tell
    bool pinknown;    // whether PIN is what FindLibPin gives in the part's component
    LibPin* pin;
};
constexpr int32_t UnknownPart = -2;
// Asks the cache, a stage at a time over all of them, for what adding the
// connections REFERENCES[i]-NUMBERS[i] will look up, so that those reads
// overlap instead of each waiting on memory in turn, and fills LOOKUPS[i].
// Changes nothing else.
void PrefetchConnections(const char* const* references, const char* const* numbers, int count,
                         ConnectionLookups* lookups);
// Release of the run's design: the tables, the heap texts a read may have
// replaced (part values, sourcelib, pin names) and every carved record.
void ReleaseDesignTables();
