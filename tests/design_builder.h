// Builds design tables in memory as the section parsers leave them, for
// tests of the format runtime that must not depend on reading a file. The
// records are carved as the parsers carve them, so ReleaseRun frees them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/parts.h"
#include "reader/pinorder.h"
#include "reader/tables.h"

// Appends NAME = VALUE to LIST.
inline void AddTestProperty(Property*& list, const char* name, const char* value) {
    Property* property = static_cast<Property*>(CarveDesignMemory(sizeof(Property)));
    *property = {nullptr, CarveDesignText(name), CarveDesignText(value)};
    Property** link = &list;
    while (*link != nullptr) link = &(*link)->next;
    *link = property;
}

// A component definition with PINS; gives its index.
inline int32_t AddTestComponent(const char* name, std::initializer_list<const char*> pins) {
    if (Design.parts == nullptr) StartDesignTables();
    int32_t index = -1;
    ComponentDef* component = AddComponentDef(name, &index);
    for (const char* number : pins) {
        LibPin* pin = static_cast<LibPin*>(CarveDesignMemory(sizeof(LibPin)));
        *pin = {nullptr, CarveDesignText(number), index, PinNumberValue(number), 0, EmptyText, EmptyText, nullptr};
        InsertLibPin(component, pin);
    }
    return index;
}

// A part of component COMPONENT; the table is sorted by SortTestParts.
inline PartInstance* AddTestPart(const char* reference, int32_t component, const char* value = "") {
    int32_t index = -1;
    PartInstance* part = AddPartInstance(reference, component, &index);
    part->value = value[0] != '\0' ? CopyText(value) : EmptyText;
    part->valueowned = value[0] != '\0' ? 1 : 0;
    return part;
}

// Puts the parts in reference order, as the end of a placement section does.
inline void SortTestParts() {
    std::sort(Design.parts, Design.parts + Design.partcount,
              [](const PartInstance* a, const PartInstance* b) { return CompareReferences(a->reference, b->reference) < 0; });
}

inline Net* AddTestNet(const char* name) {
    if (Design.parts == nullptr) StartDesignTables();
    int32_t index = -1;
    return AddNet(name, &index);
}

// Connects the last net to REFERENCE's pin NUMBER; parts must be sorted.
inline NetPin* ConnectTest(const char* reference, const char* number) {
    int32_t netindex = Design.netcount - 1;
    int32_t partindex = FindPart(reference);
    EXPECT_GE(partindex, 0) << reference;
    PartInstance* part = Design.parts[partindex];
    LibPin* pin = FindLibPin(Design.components[part->component], number);
    EXPECT_NE(pin, nullptr) << reference << "-" << number;
    NetPin* connection = static_cast<NetPin*>(CarveDesignMemory(sizeof(NetPin)));
    *connection = {nullptr, nullptr, pin, partindex, netindex, nullptr};
    EXPECT_EQ(InsertNetPin(part, connection), 1) << reference << "-" << number;
    NetPin** link = &Design.nets[netindex]->netpins;
    while (*link != nullptr) link = &(*link)->nextonnet;
    *link = connection;
    Design.netpincount++;
    return connection;
}
