// The design tables' operations: starting them, appending records and
// their release. Finding records by name and the parts' order are
// reader/parts.h's; the order of pins, reader/pinorder.h's.
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
// record and stores its index, or gives null and -1 (table unchanged) when
// memory cannot be had.
ComponentDef* AddComponentDef(const char* name, int32_t* index);
PartInstance* AddPartInstance(const char* reference, int32_t component, int32_t* index);
Net* AddNet(const char* name, int32_t* index);
// Binary search of the parts table, sorted once its order settles
// (reader/parts.h); the index or -1.
int32_t FindPart(const char* reference);
// The read's end: lets go of what only its lookups need (the references'
// table, what pin order keeps beside the lists), so that the output's own
// memory does not come on top of it. The records stay as they are.
void FinishDesignTables();
// Release of the run's design: the tables, the heap texts a read may have
// replaced (part values, sourcelib, pin names) and every carved record.
void ReleaseDesignTables();
