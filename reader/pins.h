// Pin order: the order of a component definition's pins and of a part's
// connections, the duplicate pins it finds, and the lookup of a pin by its
// number, with the indexes that answer for long lists.
#pragma once

#include <cstdint>

struct ComponentDef;
struct LibPin;
struct NetPin;
struct PartInstance;

// The decimal value of a non-empty digit-only pin number, else -1 (also for
// a number too large for int32).
int32_t PinNumberValue(const char* number);
// First pin of the component whose number text is exactly NUMBER, or null.
LibPin* FindLibPin(ComponentDef* component, const char* number);
// Puts PIN into the component's pins by pin order.
void InsertLibPin(ComponentDef* component, LibPin* pin);
// Puts CONNECTION into the part's connections by pin order; 0 when it is a
// duplicate pin (not inserted).
int InsertNetPin(PartInstance* part, NetPin* connection);
// For reading ahead (PrefetchConnections in reader/tables.h), without side
// effects: where a ranked component's table of values holds the first pin
// of NUMBER's value, or null when it has no such entry.
LibPin* const* PinByValueEntry(const ComponentDef* component, const char* number);
// Asks the cache for what InsertNetPin will read of PART's slots for PIN.
void PrefetchPinSlot(const PartInstance* part, const LibPin* pin);
// Frees the indexes of every pin list; part of the design tables' release.
void ReleasePinLists();
