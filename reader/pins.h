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
// effects, in two steps: StartPinProbe finds the entry of the component's
// table of values that NUMBER's search starts at and asks the cache for it;
// FinishPinProbe gives 1 and FindLibPin's answer in *PIN when that table
// gives it, 0 when only FindLibPin can tell.
struct PinProbe {
    LibPin* const* entry;  // the table's entry for the value; null: none
    int32_t value;         // NUMBER's value, or -1
    bool answers;          // whether the component's table answers at all
};
PinProbe StartPinProbe(const ComponentDef* component, const char* number);
int FinishPinProbe(const PinProbe& probe, const char* number, LibPin** pin);
// Asks the cache for what InsertNetPin will read of PART's slots for PIN;
// once those are at hand, PrefetchSlotNeighbour asks for the connection it
// will follow.
void PrefetchPinSlot(const PartInstance* part, const LibPin* pin);
void PrefetchSlotNeighbour(const PartInstance* part, const LibPin* pin);
// Frees the indexes of every pin list; part of the design tables' release.
void ReleasePinLists();
