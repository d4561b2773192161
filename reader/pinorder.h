// Pin order: the order of a component definition's pins and of a part's
// connections, the duplicate pins it refuses, and the lookup of a pin by
// its number. This module alone links those two lists; what it keeps
// beside a list is reached through the record's pinorder pointer.
#pragma once

#include <cstdint>

struct ComponentDef;
struct LibPin;
struct NetPin;
struct PartInstance;

// First pin of the component whose number text is exactly NUMBER, or null.
LibPin* FindLibPin(const ComponentDef* component, const char* number);
// Asks the cache, a stage at a time over all of them, for what FindLibPin
// and InsertNetPin will read to connect HINTS[i].part's pin
// HINTS[i].number: each stage reads what the one before asked for, so the
// connections wait on memory together. Changes nothing but the hints,
// which carry each connection's reading from stage to stage and are never
// answers.
struct PinHint {
    const PartInstance* part;
    const char* number;
    const void* at;  // what the stage before asked for; null: nothing more to ask
    int32_t rank;
};
void PrefetchConnections(PinHint* hints, int count);
// Puts PIN into the component's pins by pin order.
void InsertLibPin(ComponentDef* component, LibPin* pin);
// Puts CONNECTION into the part's connections by pin order; 0 when it is a
// duplicate pin (not inserted).
int InsertNetPin(PartInstance* part, NetPin* connection);
// Frees what is kept beside the record's list; part of the tables' release.
void ReleasePinOrder(ComponentDef* component);
void ReleasePinOrder(PartInstance* part);
