// Components by name, parts by reference, and the parts table's order.
//
// Names and references lead to their records through reader/hashtable:
// a name enters it as its definition comes, a reference when the parts'
// order settles. References are unique once a placement
// section is checked (message 17 ends the read otherwise), so the table's
// one part of a reference is the one the binary search of the sorted table
// finds; a component name leads to its first definition in table order.
//
// The parts table as the placement sections leave it: runs of entries each
// sorted by reference, back to back from index 0 and each less than half as
// long as the one before (so there are few), then the parts of a section
// not finished yet. A section's parts are sorted alone and checked against
// the runs, so many small sections never re-sort the whole table. A
// reference leads to its part's index in the table as it last settled:
// the network sections settle it before they look parts up. The end of
// the read merges once more, numbers again the connections made before
// parts moved, and frees the references: only the network looks parts up
// by reference, and the output's own memory comes after the read.
#include "reader/parts.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/hashtable.h"

namespace {

constexpr int RunLimit = 40;  // more than the halving lets an int32 table hold

const char* ComponentName(int32_t index) { return Design.components[index]->name; }
const char* PartReference(int32_t index) { return Design.parts[index]->reference; }

struct PartsState {
    HashTable components;     // name -> index of its first definition
    HashTable references;     // reference -> index of its part in the table as it last settled
    int32_t runstart[RunLimit];  // first index of each run
    int runcount;
    int32_t runend;           // index after the last run
    int32_t moved;            // the first place whose part moved since the order settled
    bool renumber;            // parts moved since connections were made
};

const PartsState EmptyParts = {{ComponentName}, {PartReference}, {}, 0, 0, 0, false};
PartsState Parts = EmptyParts;

// A function object, so that the sorts and searches inline the comparison.
struct ByReference {
    bool operator()(const PartInstance* a, const PartInstance* b) const {
        return CompareReferences(a->reference, b->reference) < 0;
    }
};
constexpr ByReference ReferenceBefore{};

int32_t RunEnd(int run) { return run + 1 < Parts.runcount ? Parts.runstart[run + 1] : Parts.runend; }

// The parts from FIRST to LAST (excluded) came or moved: their references
// lead to their places once the order settles.
void NoteMoved(int32_t first, int32_t last) {
    if (first < Parts.moved) Parts.moved = first;
    if (Design.netpincount > 0 && last > first) Parts.renumber = true;
}

// Merges the last two runs into one. Without memory for the merge the two
// are sorted together in place, which gives the same order.
void MergeLastRuns() {
    int32_t first = Parts.runstart[Parts.runcount - 2];
    int32_t middle = Parts.runstart[Parts.runcount - 1];
    PartInstance** parts = Design.parts;
    std::size_t leftcount = static_cast<std::size_t>(middle - first);
    PartInstance** left = static_cast<PartInstance**>(AllocateMemory(sizeof(PartInstance*) * leftcount));
    if (left == nullptr) {
        std::sort(parts + first, parts + Parts.runend, ReferenceBefore);
    } else {
        std::memcpy(left, parts + first, sizeof(PartInstance*) * leftcount);
        std::merge(left, left + leftcount, parts + middle, parts + Parts.runend, parts + first, ReferenceBefore);
        ReleaseMemory(left);
    }
    NoteMoved(first, Parts.runend);
    Parts.runcount--;
}

// Fewer parts than this fit the cache: sorting them through keys would not
// pay for the keys' array.
constexpr std::size_t KeyedSortMinimum = 1024;

// Sorts the parts from FIRST to LAST (excluded) by reference. The sort
// compares the first eight bytes of the references held beside the parts
// and reads the parts themselves only where those are equal: a large
// table's parts stand all over memory. A few parts, or parts without memory
// for the keys, are sorted as they stand, which gives the same order.
void SortParts(int32_t first, int32_t last) {
    struct KeyedPart {
        uint64_t key;
        PartInstance* part;
    };
    std::size_t count = static_cast<std::size_t>(last - first);
    KeyedPart* keyed =
        count >= KeyedSortMinimum ? static_cast<KeyedPart*>(AllocateMemory(sizeof(KeyedPart) * count)) : nullptr;
    if (keyed == nullptr) {
        std::sort(Design.parts + first, Design.parts + last, ReferenceBefore);
        NoteMoved(first, last);
        return;
    }
    for (std::size_t i = 0; i < count; i++) {
        PartInstance* part = Design.parts[first + static_cast<int32_t>(i)];
        keyed[i] = KeyedPart{PrefixKey(part->reference), part};
    }
    std::sort(keyed, keyed + count, [](const KeyedPart& a, const KeyedPart& b) {
        return CompareKeyed(a.key, a.part->reference, b.key, b.part->reference) < 0;
    });
    for (std::size_t i = 0; i < count; i++) Design.parts[first + static_cast<int32_t>(i)] = keyed[i].part;
    ReleaseMemory(keyed);
    NoteMoved(first, last);
}

// The parts of the earlier runs next to PART: *BELOW becomes the greatest
// not greater than PART where that is closer than *BELOW, *ABOVE the least
// greater one where that is closer than *ABOVE.
void NearestInRuns(const PartInstance* part, const PartInstance** below, const PartInstance** above) {
    for (int run = 0; run < Parts.runcount; run++) {
        PartInstance** first = Design.parts + Parts.runstart[run];
        PartInstance** last = Design.parts + RunEnd(run);
        PartInstance** after = std::upper_bound(first, last, part, ReferenceBefore);
        if (after > first && (*below == nullptr || !ReferenceBefore(after[-1], *below))) *below = after[-1];
        if (after < last && (*above == nullptr || !ReferenceBefore(*above, *after))) *above = *after;
    }
}

}  // namespace

int NoteComponent(int32_t index) {
    return AddText(Parts.components, index);
}


ComponentDef* FindComponentDef(const char* name, int32_t* index) {
    int32_t found = FindText(Parts.components, name);
    if (index != nullptr) *index = found;
    return found >= 0 ? Design.components[found] : nullptr;
}

int32_t FindPartIndex(const char* reference) { return FindText(Parts.references, reference); }

HashProbe StartPartProbe(const char* reference) { return StartProbe(Parts.references, reference); }

int32_t FinishPartProbe(const char* reference, const HashProbe& probe) {
    return FinishProbe(Parts.references, reference, probe);
}

const char* SortNewParts() {
    int32_t first = Parts.runend;
    int32_t last = Design.partcount;
    if (first >= last) return nullptr;
    SortParts(first, last);
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
        NearestInRuns(part, &below, &above);
        consider(below, part);
        // A pair of new neighbours is the next part's pair below.
        if (above != next) consider(part, above);
    }
    if (Parts.runcount == RunLimit) MergeLastRuns();
    Parts.runstart[Parts.runcount++] = first;
    Parts.runend = last;
    while (Parts.runcount >= 2 && Parts.runstart[Parts.runcount - 1] - Parts.runstart[Parts.runcount - 2] <=
                                      2 * (Parts.runend - Parts.runstart[Parts.runcount - 1]))
        MergeLastRuns();
    return duplicate;
}

namespace {

// Merges the runs and the unsorted rest into one sorted table and numbers
// again the connections made before parts moved.
void MergeAllRuns() {
    // A section the read broke off leaves its parts unsorted after the runs.
    if (Parts.runend < Design.partcount) {
        if (Parts.runcount == RunLimit) MergeLastRuns();
        SortParts(Parts.runend, Design.partcount);
        Parts.runstart[Parts.runcount++] = Parts.runend;
        Parts.runend = Design.partcount;
    }
    while (Parts.runcount >= 2) MergeLastRuns();
    if (Parts.renumber) {
        for (int32_t i = 0; i < Design.partcount; i++)
            for (NetPin* connection = Design.parts[i]->netpins; connection != nullptr;
                 connection = connection->nextonpart)
                connection->part = i;
        Parts.renumber = false;
    }
}

}  // namespace

int SettlePartOrder() {
    MergeAllRuns();
    // An entry leads to a place, and a text is read from the part at that
    // place: when parts that have entries moved, every entry goes.
    if (Parts.moved < Parts.references.count) {
        ClearTexts(Parts.references);
        Parts.moved = 0;
    }
    // The references of the parts that came or moved, all in one pass.
    if (!ReserveTexts(Parts.references, Design.partcount)) return 0;
    for (int32_t i = Parts.moved; i < Design.partcount; i++) AddText(Parts.references, i);
    Parts.moved = Design.partcount;
    return 1;
}

void FinishPartOrder() {
    MergeAllRuns();
    ReleaseHashTable(Parts.references);
    Parts.moved = 0;
}

void ReleaseParts() {
    ReleaseHashTable(Parts.components);
    ReleaseHashTable(Parts.references);
    Parts = EmptyParts;
}
