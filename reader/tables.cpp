// The design tables: growable record arrays, their lookups and the order of
// the parts.
#include "reader/tables.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/index.h"
#include "reader/pins.h"

namespace {

// The parts table as the placement sections left it: runs of entries each
// sorted by reference, back to back from index 0 and each less than half as
// long as the one before (so there are few), then the parts of a section not
// finished yet. Lookups merge the runs into one; a section's parts are
// sorted alone and checked against the runs, so many small sections never
// re-sort the whole table.
constexpr int RunLimit = 40;  // more than the halving lets an int32 table hold
struct PartRuns {
    int32_t start[RunLimit];  // first index of each run
    int count;                // runs
    int32_t end;              // index after the last run
    int64_t searched;         // runs searched by lookups since the last run came
};

// Lookups search the runs one by one until they have searched this many
// runs per part of the table; then the runs are merged, which costs about
// as much. So placement and network sections that alternate cost no
// merge of the whole table each time.
constexpr int64_t RunSearchesPerMerge = 1;

PartRuns Runs = {};

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
    return static_cast<Record*>(CarveDesignMemory(sizeof(Record)));
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

// A function object, so that the sorts and searches inline the comparison.
struct ByReference {
    bool operator()(const PartInstance* a, const PartInstance* b) const {
        return CompareReferences(a->reference, b->reference) < 0;
    }
};
constexpr ByReference ReferenceBefore{};

// Connections name their part by its index: after parts move, the
// connections of the parts from FIRST to LAST (excluded) are pointed back
// at them.
void RenumberConnections(int32_t first, int32_t last) {
    for (int32_t i = first; i < last; i++)
        for (NetPin* connection = Design.parts[i]->netpins; connection != nullptr; connection = connection->nextonpart)
            connection->part = i;
}

int32_t RunEnd(int run) { return run + 1 < Runs.count ? Runs.start[run + 1] : Runs.end; }

// Merges the last two runs into one. Without memory for the merge the two
// are sorted together in place, which gives the same order.
void MergeLastRuns() {
    int32_t first = Runs.start[Runs.count - 2];
    int32_t middle = Runs.start[Runs.count - 1];
    int32_t last = Runs.end;
    PartInstance** parts = Design.parts;
    std::size_t leftcount = static_cast<std::size_t>(middle - first);
    PartInstance** left = static_cast<PartInstance**>(AllocateMemory(sizeof(PartInstance*) * leftcount));
    if (left == nullptr) {
        std::sort(parts + first, parts + last, ReferenceBefore);
    } else {
        std::memcpy(left, parts + first, sizeof(PartInstance*) * leftcount);
        std::size_t i = 0;
        int32_t j = middle;
        int32_t k = first;
        while (i < leftcount && j < last) parts[k++] = ReferenceBefore(parts[j], left[i]) ? parts[j++] : left[i++];
        while (i < leftcount) parts[k++] = left[i++];
        ReleaseMemory(left);
    }
    RenumberConnections(first, last);
    Runs.count--;
}

// The greatest entry of RUN not greater than PART and the least one
// greater, each null when there is none.
void NeighboursInRun(int run, const PartInstance* part, const PartInstance** below, const PartInstance** above) {
    PartInstance** first = Design.parts + Runs.start[run];
    PartInstance** last = Design.parts + RunEnd(run);
    PartInstance** after = std::upper_bound(first, last, part, ReferenceBefore);
    *below = after > first ? after[-1] : nullptr;
    *above = after < last ? *after : nullptr;
}

// The index of REFERENCE among the parts LOW to HIGH, which stand in
// reference order, or -1.
int32_t SearchParts(const char* reference, int32_t low, int32_t high) {
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

// The index of REFERENCE in one of the runs, or -1.
int32_t FindInRuns(const char* reference) {
    for (int run = 0; run < Runs.count; run++) {
        int32_t found = SearchParts(reference, Runs.start[run], RunEnd(run) - 1);
        if (found >= 0) return found;
    }
    return -1;
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
    char* copy = component != nullptr ? CarveDesignText(name) : nullptr;
    int32_t at = copy != nullptr
                     ? AppendRecord(Design.components, Design.componentcount, Design.componentcapacity, component)
                     : -1;
    if (index != nullptr) *index = at;
    // What was carved stays in the arena until the design is released.
    if (at < 0) return nullptr;
    component->name = copy;
    component->sourcelib = EmptyText;
    NoteComponentAdded(at);
    return component;
}

PartInstance* AddPartInstance(const char* reference, int32_t componentindex, int32_t* index) {
    PartInstance* part = static_cast<PartInstance*>(CarvePartRecord(sizeof(PartInstance)));
    char* copy = part != nullptr ? CarvePartText(reference) : nullptr;
    int32_t at = copy != nullptr ? AppendRecord(Design.parts, Design.partcount, Design.partcapacity, part) : -1;
    if (index != nullptr) *index = at;
    if (at < 0) return nullptr;
    *part = PartInstance{copy, EmptyText, nullptr, nullptr, componentindex, 0, nullptr, 0, 0};
    return part;
}

Net* AddNet(const char* name, int32_t* index) {
    Net* net = NewRecord<Net>();
    char* copy = net != nullptr ? CarveDesignText(name) : nullptr;
    int32_t at = copy != nullptr ? AppendRecord(Design.nets, Design.netcount, Design.netcapacity, net) : -1;
    if (index != nullptr) *index = at;
    if (at < 0) return nullptr;
    net->name = copy;
    net->nettype = 'L';
    return net;
}

// The lookups below are the plain algorithms; on long tables an index
// (reader/index.h) gives the same answers without the scan, and a scan that
// grew long asks for one. Pin order and pin lookups are reader/pins.h's.
ComponentDef* FindComponentDef(const char* name, int32_t* index) {
    int32_t found = -1;
    if (!FindIndexedComponent(name, &found)) {
        int32_t i = 0;
        while (i < Design.componentcount && std::strcmp(Design.components[i]->name, name) != 0) i++;
        if (i < Design.componentcount) found = i;
        if (i >= IndexThreshold()) IndexComponents();
    }
    if (index != nullptr) *index = found;
    return found >= 0 ? Design.components[found] : nullptr;
}

namespace {

// Fewer parts than this fit the cache: sorting them through keys would not
// pay for the keys' array.
constexpr std::size_t KeyedSortMinimum = 1024;

// Sorts the parts from FIRST to LAST (excluded) by reference. The sort
// compares the first eight bytes of the references held beside the parts,
// as numbers in byte order, and reads the parts themselves only where those
// are equal: a large table's parts stand all over memory. A few parts, or
// parts without memory for the keys, are sorted as they stand, which gives
// the same order (equal references can only end the read with message 17).
void SortParts(int32_t first, int32_t last) {
    struct KeyedPart {
        uint64_t key;
        PartInstance* part;
    };
    std::size_t count = static_cast<std::size_t>(last - first);
    KeyedPart* keyed = count >= KeyedSortMinimum
                           ? static_cast<KeyedPart*>(AllocateMemory(sizeof(KeyedPart) * count))
                           : nullptr;
    if (keyed == nullptr) {
        std::sort(Design.parts + first, Design.parts + last, ReferenceBefore);
        return;
    }
    for (std::size_t i = 0; i < count; i++) {
        PartInstance* part = Design.parts[first + static_cast<int32_t>(i)];
        keyed[i] = KeyedPart{PrefixKey(part->reference), part};
    }
    std::sort(keyed, keyed + count, [](const KeyedPart& a, const KeyedPart& b) {
        if (a.key != b.key) return a.key < b.key;
        return !KeyHoldsWholeText(a.key) && CompareReferences(a.part->reference + 8, b.part->reference + 8) < 0;
    });
    for (std::size_t i = 0; i < count; i++) Design.parts[first + static_cast<int32_t>(i)] = keyed[i].part;
    ReleaseMemory(keyed);
}

}  // namespace

const char* SortNewParts() {
    int32_t first = Runs.end;
    int32_t last = Design.partcount;
    if (first >= last) return nullptr;
    SortParts(first, last);
    RenumberConnections(first, last);
    // Once the new parts are in, every pair of neighbours holds a new part:
    // earlier sections left no equal pair. The first equal pair of the
    // table as one sorted whole is the one whose first entry sorts first.
    const char* duplicate = nullptr;
    auto consider = [&duplicate](const PartInstance* a, const PartInstance* b) {
        if (a == nullptr || b == nullptr || !SameTextIgnoringCase(a->reference, b->reference)) return;
        if (duplicate == nullptr || CompareReferences(a->reference, duplicate) < 0) duplicate = a->reference;
    };
    for (int32_t i = first; i < last; i++) {
        const PartInstance* part = Design.parts[i];
        const PartInstance* below = i > first ? Design.parts[i - 1] : nullptr;
        const PartInstance* next = i + 1 < last ? Design.parts[i + 1] : nullptr;
        const PartInstance* above = next;
        // Equal references from earlier runs stand before the new ones.
        for (int run = 0; run < Runs.count; run++) {
            const PartInstance* runbelow = nullptr;
            const PartInstance* runabove = nullptr;
            NeighboursInRun(run, part, &runbelow, &runabove);
            if (runbelow != nullptr && (below == nullptr || !ReferenceBefore(runbelow, below))) below = runbelow;
            if (runabove != nullptr && (above == nullptr || !ReferenceBefore(above, runabove))) above = runabove;
        }
        consider(below, part);
        // A pair of new neighbours is the next part's pair below.
        if (above != next) consider(part, above);
    }
    if (Runs.count == RunLimit) MergeLastRuns();
    Runs.start[Runs.count++] = first;
    Runs.end = last;
    Runs.searched = 0;
    while (Runs.count >= 2 &&
           Runs.start[Runs.count - 1] - Runs.start[Runs.count - 2] <= 2 * (Runs.end - Runs.start[Runs.count - 1]))
        MergeLastRuns();
    return duplicate;
}

void SettlePartOrder() {
    while (Runs.count >= 2) MergeLastRuns();
}

int32_t FindPart(const char* reference) {
    // References are unique once a placement section is checked, so a
    // search of the runs finds the same part as a search of the merged
    // table; the merge renumbers the connections made meanwhile.
    if (Runs.count > 1 && Runs.end == Design.partcount) {
        Runs.searched += Runs.count;
        if (Runs.searched < RunSearchesPerMerge * Runs.end) return FindInRuns(reference);
    }
    SettlePartOrder();
    int32_t found = -1;
    if (FindIndexedPart(reference, &found)) return found;
    return SearchParts(reference, 0, Design.partcount - 1);
}

void PrefetchConnections(const char* const* references, const char* const* numbers, int count,
                         ConnectionLookups* lookups) {
    // Each stage reads what the stage before asked for; the connections of
    // a stage wait on memory together.
    constexpr int Most = 32;
    // With the parts as one sorted table and its index up to date, FindPart
    // asks that index and nothing else, so its answer is known here.
    bool settled = Runs.count <= 1;
    for (int first = 0; first < count; first += Most) {
        int last = std::min(count, first + Most);
        PartProbe probes[Most];
        PartInstance* parts[Most];
        const ComponentDef* components[Most];  // null: the part is unknown, or names no component
        PinProbe pins[Most];
        for (int i = first; i < last; i++) {
            probes[i - first] = StartPartProbe(references[i]);
            lookups[i] = ConnectionLookups{UnknownPart, false, nullptr};
            parts[i - first] = nullptr;
        }
        for (int i = first; i < last; i++) {
            int32_t index = FinishPartProbe(references[i], probes[i - first]);
            if (settled && probes[i - first].slot >= 0) lookups[i].part = index;
            if (index >= 0) PrefetchMemory(&Design.parts[index]);
        }
        for (int i = first; i < last; i++) {
            if (lookups[i].part < 0) continue;
            parts[i - first] = Design.parts[lookups[i].part];
            PrefetchMemory(parts[i - first]);
        }
        for (int i = first; i < last; i++) {
            PartInstance* part = parts[i - first];
            components[i - first] = nullptr;
            if (part == nullptr || part->component < 0 || part->component >= Design.componentcount) continue;
            components[i - first] = Design.components[part->component];
            PrefetchMemory(components[i - first]);
            if (part->pinslots != nullptr) PrefetchMemory(part->pinslots);
        }
        for (int i = first; i < last; i++)
            if (components[i - first] != nullptr) pins[i - first] = StartPinProbe(components[i - first], numbers[i]);
        for (int i = first; i < last; i++)
            if (components[i - first] != nullptr && pins[i - first].entry != nullptr)
                PrefetchMemory(*pins[i - first].entry);
        for (int i = first; i < last; i++) {
            if (components[i - first] == nullptr) continue;
            lookups[i].pinknown = FinishPinProbe(pins[i - first], numbers[i], &lookups[i].pin) != 0;
            if (lookups[i].pin != nullptr) PrefetchPinSlot(parts[i - first], lookups[i].pin);
        }
        for (int i = first; i < last; i++)
            if (lookups[i].pin != nullptr) PrefetchSlotNeighbour(parts[i - first], lookups[i].pin);
    }
}

void ReleaseDesignTables() {
    ReleaseIndexes();
    ReleasePinLists();
    for (int32_t i = 0; i < Design.partcount; i++)
        if (Design.parts[i]->valueowned) FreeText(Design.parts[i]->value);
    ReleaseMemory(Design.parts);
    ReleaseMemory(Design.nets);
    for (int32_t i = 0; i < Design.componentcount; i++) {
        ComponentDef* component = Design.components[i];
        FreeText(component->sourcelib);
        FreePinNames(component->libpins);
    }
    ReleaseMemory(Design.components);
    // Records, their properties and the texts never replaced, all at once.
    ReleaseDesignMemory();
    Design = DesignTables{};
    Runs = PartRuns{};
}

