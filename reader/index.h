// Indexes behind the design tables' linear lookups and pin-order walks. The
// plain algorithms in tables.cpp stay the definition: an index only ever
// gives their answer (the first match in table or list order, the position
// the walk from the head would choose), in constant or logarithmic time.
// An index is made once a plain scan or walk has grown long; when one cannot
// be allocated, or its list was changed behind its back, the plain
// algorithm takes over again.
#pragma once

#include <cstdint>

struct ComponentDef;
struct LibPin;
struct NetPin;
struct PartInstance;

// When indexes are made (test hook). Plain runs only the plain algorithms;
// Long, the load-time mode, indexes tables and lists that scans found long;
// Always indexes every table and list from its first entry.
constexpr int IndexPlain = 0;
constexpr int IndexLong = 1;
constexpr int IndexAlways = 2;
// Selects MODE for the following runs; gives the mode it replaces.
int SetIndexMode(int mode);

// A plain scan or walk that passed this many entries asks for an index.
int32_t IndexThreshold();

// Part references: 1 and the index of REFERENCE when the reference index
// finds it in the strictly sorted parts table, 0 when the binary search
// must answer (no index, an unsorted table, or a reference not there).
int FindIndexedPart(const char* reference, int32_t* index);

// Component names. FindIndexedComponent gives 1 and the first index in table
// order holding NAME (-1: none) when the name index answers, 0 when there is
// none. IndexComponents makes the name index over the whole table;
// NoteComponentAdded keeps it up to date after an append at INDEX.
int FindIndexedComponent(const char* name, int32_t* index);
void IndexComponents();
void NoteComponentAdded(int32_t index);

// Pin lists of component definitions (libpins, with a pin-number lookup)
// and of parts (netpins). The Indexed operations give 1 when an index did
// the work, 0 when the caller must run the plain algorithm. For a part,
// *accepted receives InsertNetPin's result (0: duplicate pin, not
// inserted). The Index operations make the index of a list as it stands.
int FindIndexedLibPin(const ComponentDef* component, const char* number, LibPin** pin);
int InsertIndexedLibPin(ComponentDef* component, LibPin* pin);
void IndexLibPins(const ComponentDef* component);
int InsertIndexedNetPin(PartInstance* part, NetPin* connection, int* accepted);
void IndexNetPins(const PartInstance* part);

// Frees every index; part of the design tables' release.
void ReleaseIndexes();
