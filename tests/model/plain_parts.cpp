// The test model of reader/parts.h: the plain algorithms whose answers the
// library's lookups must give. Components are found by a scan in table
// order, parts by a binary search of the parts table, which every
// placement section leaves sorted whole.
#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/parts.h"
#include "reader/tables.h"

namespace {

int32_t SortedParts = 0;  // the parts before this index stand sorted

// The whole table sorted by reference: the new parts sorted and merged in.
void SortTable() {
    auto before = [](const PartInstance* a, const PartInstance* b) {
        return CompareReferences(a->reference, b->reference) < 0;
    };
    PartInstance** parts = Design.parts;
    std::sort(parts + SortedParts, parts + Design.partcount, before);
    std::inplace_merge(parts, parts + SortedParts, parts + Design.partcount, before);
    SortedParts = Design.partcount;
}

}  // namespace

int NoteComponent(int32_t) { return 1; }

ComponentDef* FindComponentDef(const char* name, int32_t* index) {
    int32_t i = 0;
    while (i < Design.componentcount && std::strcmp(Design.components[i]->name, name) != 0) i++;
    bool found = i < Design.componentcount;
    if (index != nullptr) *index = found ? i : -1;
    return found ? Design.components[i] : nullptr;
}

int32_t FindPartIndex(const char* reference) { return FindPart(reference); }
HashProbe StartPartProbe(const char*) { return HashProbe{}; }
int32_t FinishPartProbe(const char* reference, const HashProbe&) { return FindPart(reference); }

const char* SortNewParts() {
    SortTable();
    PartInstance** parts = Design.parts;
    for (int32_t i = 1; i < Design.partcount; i++)
        if (SameTextIgnoringCase(parts[i - 1]->reference, parts[i]->reference)) return parts[i - 1]->reference;
    return nullptr;
}

int SettlePartOrder() {
    SortTable();
    for (int32_t i = 0; i < Design.partcount; i++)
        for (NetPin* connection = Design.parts[i]->netpins; connection != nullptr; connection = connection->nextonpart)
            connection->part = i;
    return 1;
}

void FinishPartOrder() { SettlePartOrder(); }

void ReleaseParts() { SortedParts = 0; }
