// The design tables: growable record arrays, each appended record made
// known to the lookups of reader/parts, and their release.
#include "reader/tables.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/parts.h"
#include "reader/pinorder.h"

namespace {

// Makes room for one more entry of a table whose COUNT equals its CAPACITY,
// by TableStep slots; 1 when there is room, 0 (table untouched) otherwise.
template <typename Record>
int MakeRoom(Record**& entries, int32_t count, int32_t& capacity) {
    if (count < capacity) return 1;
    if (capacity > INT32_MAX - TableStep) return 0;
    int32_t larger = capacity + TableStep;
    void* grown = ResizeMemory(entries, sizeof(Record*) * static_cast<std::size_t>(larger));
    if (grown == nullptr) return 0;
    entries = static_cast<Record**>(grown);
    capacity = larger;
    return 1;
}

// Stores RECORD at the end of the table and gives its index, or -1 when the
// table cannot grow.
template <typename Record>
int32_t AppendRecord(Record**& entries, int32_t& count, int32_t& capacity, Record* record) {
    if (!MakeRoom(entries, count, capacity)) return -1;
    entries[count] = record;
    return count++;
}

// A fresh record of zeroed fields, or null.
template <typename Record>
Record* NewRecord() {
    return static_cast<Record*>(CarveRecord(Arena::Design, sizeof(Record), Fill::Zeroed));
}

template <typename Record>
Record** NewTable() {
    return static_cast<Record**>(AllocateMemory(sizeof(Record*) * static_cast<std::size_t>(TableStep)));
}

// Only the texts a read may replace are heap texts of their own.
void FreePinNames(LibPin* pin) {
    for (; pin != nullptr; pin = pin->next) {
        FreeText(pin->pinname);
        FreeText(pin->lpinname);
    }
}

}  // namespace

int StartDesignTables() {
    // A table left from an earlier read would otherwise be lost.
    ReleaseDesignTables();
    Design.parts = NewTable<PartInstance>();
    Design.components = NewTable<ComponentDef>();
    Design.nets = NewTable<Net>();
    if (Design.parts == nullptr || Design.components == nullptr || Design.nets == nullptr) {
        ReleaseDesignTables();
        return 0;
    }
    Design.partcapacity = TableStep;
    Design.componentcapacity = TableStep;
    Design.netcapacity = TableStep;
    return 1;
}

ComponentDef* AddComponentDef(const char* name, int32_t* index) {
    ComponentDef* component = NewRecord<ComponentDef>();
    char* copy = component != nullptr ? CarveText(Arena::Design, name) : nullptr;
    int32_t at = copy != nullptr
                     ? AppendRecord(Design.components, Design.componentcount, Design.componentcapacity, component)
                     : -1;
    if (index != nullptr) *index = at;
    // What was carved stays in the arena until the design is released.
    if (at < 0) return nullptr;
    component->name = copy;
    component->sourcelib = EmptyText;
    if (!NoteComponent(at)) {
        Design.componentcount--;
        if (index != nullptr) *index = -1;
        return nullptr;
    }
    return component;
}

PartInstance* AddPartInstance(const char* reference, int32_t componentindex, int32_t* index) {
    PartInstance* part =
        static_cast<PartInstance*>(CarveRecord(Arena::Parts, sizeof(PartInstance), Fill::Unset, CacheLine));
    char* copy = part != nullptr ? CarveText(Arena::Parts, reference) : nullptr;
    int32_t at = copy != nullptr ? AppendRecord(Design.parts, Design.partcount, Design.partcapacity, part) : -1;
    if (index != nullptr) *index = at;
    if (at < 0) return nullptr;
    *part = PartInstance{copy, EmptyText, nullptr, nullptr, componentindex, 0, nullptr, 0, 0};
    return part;
}

Net* AddNet(const char* name, int32_t* index) {
    Net* net = NewRecord<Net>();
    char* copy = net != nullptr ? CarveText(Arena::Design, name) : nullptr;
    int32_t at = copy != nullptr ? AppendRecord(Design.nets, Design.netcount, Design.netcapacity, net) : -1;
    if (index != nullptr) *index = at;
    if (at < 0) return nullptr;
    net->name = copy;
    net->nettype = 'L';
    return net;
}

// The parts table is sorted once its order settles (reader/parts.h).
int32_t FindPart(const char* reference) {
    int32_t low = 0;
    int32_t high = Design.partcount - 1;
    while (high >= low) {
        int32_t middle = low + (high - low) / 2;
        int order = CompareReferences(reference, Design.parts[middle]->reference);
        if (order == 0) return middle;
        if (order < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

void FinishDesignTables() {
    FinishPartOrder();
    for (int32_t i = 0; i < Design.partcount; i++) ReleasePinOrder(Design.parts[i]);
    for (int32_t i = 0; i < Design.componentcount; i++) ReleasePinOrder(Design.components[i]);
    ReturnFreeMemory();
}

void ReleaseDesignTables() {
    ReleaseParts();
    for (int32_t i = 0; i < Design.partcount; i++) {
        PartInstance* part = Design.parts[i];
        if (part->valueowned) FreeText(part->value);
        ReleasePinOrder(part);
    }
    ReleaseMemory(Design.parts);
    ReleaseMemory(Design.nets);
    for (int32_t i = 0; i < Design.componentcount; i++) {
        ComponentDef* component = Design.components[i];
        FreeText(component->sourcelib);
        FreePinNames(component->libpins);
        ReleasePinOrder(component);
    }
    ReleaseMemory(Design.components);
    // Records, their properties and the texts never replaced, all at once.
    ReleaseDesignMemory();
    Design = DesignTables{};
}

