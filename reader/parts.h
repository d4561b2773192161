// Components by name, parts by reference, and the order of the parts
// table. The tables' appends (reader/tables.h) tell this module of every
// new component; every Find* here changes nothing.
#pragma once

#include <cstdint>

#include "reader/hashtable.h"

struct ComponentDef;
struct PartInstance;

// Takes note of the component appended at INDEX; 1, or 0 without memory
// (the caller then takes the record back).
int NoteComponent(int32_t index);

// First component definition of that exact name, its index stored; or null
// and -1.
ComponentDef* FindComponentDef(const char* name, int32_t* index);
// The index of the part of that exact reference in the parts table as it
// last settled (SettlePartOrder), or -1: one probe. Until the read ends
// (FinishPartOrder); FindPart serves any time.
int32_t FindPartIndex(const char* reference);
// The same in two steps, for reading ahead: StartPartProbe asks the cache
// for where the probe starts, FinishPartProbe makes it.
HashProbe StartPartProbe(const char* reference);
int32_t FinishPartProbe(const char* reference, const HashProbe& probe);

// Sorts the parts added since the last call in among the earlier ones and
// gives the reference of the first entry of the first pair of neighbours
// that are equal ignoring letter case, or null.
const char* SortNewParts();
// Finishes the order SortNewParts began: the parts stand as one sorted
// table, their references lead to their places in it, and every connection
// holds its part's index in it (connections made before parts moved are
// numbered again here). 1, or 0 when the references cannot be had for
// lack of memory (the parts are in order all the same).
int SettlePartOrder();
// The end of the read: the parts stand as one sorted table and every
// connection holds its part's index in it; the references are let go.
void FinishPartOrder();

// Frees what this module holds; part of the design tables' release.
void ReleaseParts();
