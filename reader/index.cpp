// Indexes for the design tables: a name index over the component table and
// a reference index over the sorted parts table. Every allocation goes
// through the platform heap; a failed one drops the index and the plain
// algorithm goes on, so a run without memory for an index behaves exactly
// as one with it.
//
// Why the reference index gives the binary search's answer (tables.cpp holds
// it): FindPart is a binary search. While the parts table is strictly sorted
// (no two equal references), the search finds a reference exactly where it
// stands, so a hash of the references gives the same index. The hash is made
// only over a table found strictly sorted and is remade when the count
// changes; parts move only when placement sections add parts (which changes
// the count), and a sorted table keeps its order. A reference the hash does
// not find goes to the binary search.
#include "reader/index.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/index_testing.h"

namespace {

uint32_t HashText(const char* text) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != '\0'; c++)
        hash = (hash ^ *c) * 16777619u;
    return hash;
}

// Every bit of KEY reaches the low bits that pick a slot.
uint32_t HashKey(uint64_t key) {
    key ^= key >> 33;
    key *= 0xFF51AFD7ED558CCDull;
    key ^= key >> 33;
    key *= 0xC4CEB9FE1A85EC53ull;
    key ^= key >> 33;
    return static_cast<uint32_t>(key);
}

constexpr int32_t LongScan = 32;  // entries passed before an index pays off

// ---- Records ---------------------------------------------------------------------

struct NameSlot {
    uint32_t hash;
    int32_t index;  // component index + 1; 0 marks an empty slot
};

struct NameIndex {
    NameSlot* slots;
    uint32_t capacity;  // 0: no index
    int32_t count;
};

struct ReferenceSlot {
    uint64_t key;   // PrefixKey of the reference: most references need no other look
    int32_t index;  // part index + 1; 0 marks an empty slot
};

// References of a strictly sorted parts table.
struct ReferenceIndex {
    ReferenceSlot* slots;
    uint32_t capacity;     // 0: no index
    int32_t partcount;     // the count of parts the index (or its absence) was decided at; -1: not yet
    PartInstance** parts;  // the table it was decided for
};

struct IndexState {
    int mode = IndexLong;  // a test setting, kept across releases
    NameIndex names = {};
    ReferenceIndex references = {nullptr, 0, -1, nullptr};
};

IndexState Indexes;

// ---- Component names ----------------------------------------------------------

// The slot holding NAME, or the empty slot where it belongs.
NameSlot* NameSlotFor(const NameIndex& names, const char* name, uint32_t hash) {
    uint32_t mask = names.capacity - 1;
    for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
        NameSlot& slot = names.slots[i];
        if (slot.index == 0) return &slot;
        if (slot.hash == hash && std::strcmp(Design.components[slot.index - 1]->name, name) == 0) return &slot;
    }
}

void ReleaseNames() {
    ReleaseMemory(Indexes.names.slots);
    Indexes.names = NameIndex{};
}

bool GrowNames(int32_t count) {
    NameIndex& names = Indexes.names;
    uint32_t capacity = SlotsFor(count, 1, 2);
    if (capacity <= names.capacity) return true;
    NameIndex grown = {static_cast<NameSlot*>(AllocateZeroed(capacity, sizeof(NameSlot))), capacity, names.count};
    if (grown.slots == nullptr) return false;
    for (uint32_t i = 0; i < names.capacity; i++) {
        const NameSlot& slot = names.slots[i];
        if (slot.index == 0) continue;
        uint32_t at = slot.hash & (capacity - 1);
        while (grown.slots[at].index != 0) at = (at + 1) & (capacity - 1);
        grown.slots[at] = slot;
    }
    ReleaseMemory(names.slots);
    names = grown;
    return true;
}

// Adds component INDEX unless an earlier one has its name; false without
// memory (the index is then dropped).
bool AddName(int32_t index) {
    if (!GrowNames(Indexes.names.count + 1)) {
        ReleaseNames();
        return false;
    }
    const char* name = Design.components[index]->name;
    uint32_t hash = HashText(name);
    NameSlot* slot = NameSlotFor(Indexes.names, name, hash);
    if (slot->index == 0) {
        *slot = NameSlot{hash, index + 1};
        Indexes.names.count++;
    }
    return true;
}

// ---- Part references ------------------------------------------------------------

void ReleaseReferences() {
    ReleaseMemory(Indexes.references.slots);
    Indexes.references = ReferenceIndex{nullptr, 0, -1, nullptr};
}

// Decides for the parts table as it stands whether a hash can answer for
// the binary search (above), and makes it.
void IndexReferences() {
    ReleaseReferences();
    ReferenceIndex& references = Indexes.references;
    references.partcount = Design.partcount;
    references.parts = Design.parts;
    for (int32_t i = 0; i + 1 < Design.partcount; i++)
        if (CompareReferences(Design.parts[i]->reference, Design.parts[i + 1]->reference) >= 0) return;
    // Four fifths full at most: this table is as long as the parts table.
    uint32_t capacity = SlotsFor(Design.partcount, 4, 5);
    references.slots = static_cast<ReferenceSlot*>(AllocateZeroed(capacity, sizeof(ReferenceSlot)));
    if (references.slots == nullptr) return;
    references.capacity = capacity;
    for (int32_t i = 0; i < Design.partcount; i++) {
        const char* reference = Design.parts[i]->reference;
        uint64_t key = PrefixKey(reference);
        uint32_t at = TextHash(reference, key) & (capacity - 1);
        while (references.slots[at].index != 0) at = (at + 1) & (capacity - 1);
        references.slots[at] = ReferenceSlot{key, i + 1};
    }
}
// Whether the reference index answers for the parts table as it stands.
bool ReferencesUpToDate() {
    const ReferenceIndex& references = Indexes.references;
    return Indexes.mode != IndexPlain && references.capacity != 0 && references.partcount == Design.partcount &&
           references.parts == Design.parts;
}
}  // namespace

uint32_t HashPointer(const void* pointer) { return HashKey(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer))); }

uint64_t PrefixKey(const char* text) {
    uint64_t key = 0;
    for (int i = 0; i < 8 && text[i] != '\0'; i++)
        key |= static_cast<uint64_t>(static_cast<unsigned char>(text[i])) << (56 - 8 * i);
    return key;
}

bool KeyHoldsWholeText(uint64_t key) { return (key & 0xFF) == 0; }

uint32_t TextHash(const char* text, uint64_t key) {
    return KeyHoldsWholeText(key) ? HashKey(key) : HashKey(key) ^ HashText(text + 8);
}

bool SameText(uint64_t key, const char* a, uint64_t otherkey, const char* b) {
    return key == otherkey && (KeyHoldsWholeText(key) || std::strcmp(a + 8, b + 8) == 0);
}

void* AllocateZeroed(std::size_t count, std::size_t size) {
    if (count > SIZE_MAX / size) return nullptr;
    void* block = AllocateMemory(count * size);
    if (block != nullptr) std::memset(block, 0, count * size);
    return block;
}

uint32_t SlotsFor(int32_t count, uint32_t numerator, uint32_t denominator) {
    uint32_t slots = FirstSlots;
    while (slots / denominator * numerator < static_cast<uint32_t>(count) + 1 && slots < (1u << 30)) slots *= 2;
    return slots;
}

int SetIndexMode(int mode) {
    int previous = Indexes.mode;
    Indexes.mode = mode;
    return previous;
}

bool IndexesOn() { return Indexes.mode != IndexPlain; }

int32_t IndexThreshold() {
    if (Indexes.mode == IndexPlain) return INT32_MAX;
    return Indexes.mode == IndexAlways ? 0 : LongScan;
}

int FindIndexedPart(const char* reference, int32_t* index) {
    if (Indexes.mode == IndexPlain) return 0;
    ReferenceIndex& references = Indexes.references;
    if (references.partcount != Design.partcount || references.parts != Design.parts) {
        if (Design.partcount < (Indexes.mode == IndexAlways ? 1 : LongScan)) return 0;
        IndexReferences();
    }
    int32_t found = FinishPartProbe(reference, StartPartProbe(reference));
    if (found < 0) return 0;
    *index = found;
    return 1;
}

PartProbe StartPartProbe(const char* reference) {
    const ReferenceIndex& references = Indexes.references;
    if (!ReferencesUpToDate()) return PartProbe{0, -1};
    uint64_t key = PrefixKey(reference);
    uint32_t slot = TextHash(reference, key) & (references.capacity - 1);
    PrefetchMemory(&references.slots[slot]);
    return PartProbe{key, static_cast<int32_t>(slot)};
}

int32_t FinishPartProbe(const char* reference, const PartProbe& probe) {
    if (probe.slot < 0 || !ReferencesUpToDate()) return -1;
    const ReferenceIndex& references = Indexes.references;
    uint32_t mask = references.capacity - 1;
    for (uint32_t i = static_cast<uint32_t>(probe.slot) & mask;; i = (i + 1) & mask) {
        const ReferenceSlot& slot = references.slots[i];
        if (slot.index == 0) return -1;
        if (slot.key == probe.key && (KeyHoldsWholeText(probe.key) ||
                                      std::strcmp(Design.parts[slot.index - 1]->reference + 8, reference + 8) == 0))
            return slot.index - 1;
    }
}

int FindIndexedComponent(const char* name, int32_t* index) {
    if (Indexes.mode == IndexPlain || Indexes.names.capacity == 0) return 0;
    const NameSlot* slot = NameSlotFor(Indexes.names, name, HashText(name));
    *index = slot->index - 1;
    return 1;
}

void IndexComponents() {
    ReleaseNames();
    for (int32_t i = 0; i < Design.componentcount; i++)
        if (!AddName(i)) return;
}

void NoteComponentAdded(int32_t index) {
    if (Indexes.names.capacity != 0) AddName(index);
    // A table that grows long without a lookup is indexed from the start.
    else if (Indexes.mode == IndexAlways)
        IndexComponents();
}
void ReleaseIndexes() {
    ReleaseNames();
    ReleaseReferences();
}
