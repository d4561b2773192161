// Linear probing, at most two thirds full. Each entry keeps the text's
// first eight bytes and the hash of the whole: most probes decide without
// reading the text, which stands anywhere in memory, and the table grows
// without reading any. The capacity need not be a power of two, so a table
// made for a known count takes no more than it needs.
#include "reader/hashtable.h"

#include <cstring>

#include "platform/platform.h"

struct HashEntry {
    uint64_t key;    // PrefixKey of the text
    int32_t index;   // -1: an empty entry
    uint32_t hash;   // HashOf the text
};

namespace {

constexpr uint32_t FirstCapacity = 16;
constexpr uint32_t LargestCapacity = 1u << 30;

// Every bit of the key reaches the hash; the rest of a longer text is
// folded in by FNV-1a.
uint32_t HashOf(uint64_t key, const char* text) {
    uint64_t mixed = key ^ (key >> 33);
    mixed *= 0xFF51AFD7ED558CCDull;
    mixed ^= mixed >> 33;
    mixed *= 0xC4CEB9FE1A85EC53ull;
    mixed ^= mixed >> 33;
    uint32_t hash = static_cast<uint32_t>(mixed);
    if (KeyHoldsWholeText(key)) return hash;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text) + 8; *c != '\0'; c++)
        hash = (hash ^ *c) * 16777619u;
    return hash;
}

// The entry where the search for HASH starts: the hash scaled to the
// capacity, which takes its high bits as a mask would take its low ones.
uint32_t FirstEntry(uint32_t hash, uint32_t capacity) {
    return static_cast<uint32_t>((static_cast<uint64_t>(hash) * capacity) >> 32);
}

uint32_t NextEntry(uint32_t at, uint32_t capacity) { return at + 1 == capacity ? 0 : at + 1; }

inline bool SameText(const HashTable& table, const HashEntry& entry, uint64_t key, uint32_t hash, const char* text) {
    if (entry.key != key) return false;
    if (KeyHoldsWholeText(key)) return true;
    return entry.hash == hash && std::strcmp(table.text(entry.index) + 8, text + 8) == 0;
}

// The entry holding TEXT, or the empty one where it belongs.
inline HashEntry& EntryFor(const HashTable& table, uint64_t key, uint32_t hash, const char* text) {
    uint32_t i = FirstEntry(hash, table.capacity);
    for (;;) {
        HashEntry& entry = table.entries[i];
        if (entry.index < 0 || SameText(table, entry, key, hash, text)) return entry;
        i = NextEntry(i, table.capacity);
    }
}

// The empty entry where an entry of HASH goes in a table without its text.
HashEntry& FreeEntry(const HashTable& table, uint32_t hash) {
    uint32_t i = FirstEntry(hash, table.capacity);
    while (table.entries[i].index >= 0) i = NextEntry(i, table.capacity);
    return table.entries[i];
}

bool Fits(uint32_t capacity, int32_t count) {
    return static_cast<uint64_t>(count) * 3 <= static_cast<uint64_t>(capacity) * 2;
}

void MarkEmpty(HashEntry* entries, uint32_t capacity) {
    for (uint32_t i = 0; i < capacity; i++) entries[i] = HashEntry{0, -1, 0};
}

// Room for COUNT entries; false without memory. A table that grows one
// text at a time doubles; one made for a count takes what it needs.
bool Grow(HashTable& table, int32_t count, bool exact) {
    if (table.entries != nullptr && Fits(table.capacity, count)) return true;
    uint64_t wanted = static_cast<uint64_t>(count) * 3 / 2 + 1;
    if (!exact && wanted < static_cast<uint64_t>(table.capacity) * 2) wanted = static_cast<uint64_t>(table.capacity) * 2;
    if (wanted < FirstCapacity) wanted = FirstCapacity;
    if (wanted > LargestCapacity) return false;
    uint32_t capacity = static_cast<uint32_t>(wanted);
    HashEntry* entries = static_cast<HashEntry*>(AllocateMemory(sizeof(HashEntry) * capacity));
    if (entries == nullptr) return false;
    MarkEmpty(entries, capacity);
    HashTable grown = table;
    grown.entries = entries;
    grown.capacity = capacity;
    for (uint32_t i = 0; i < table.capacity; i++)
        if (table.entries[i].index >= 0) FreeEntry(grown, table.entries[i].hash) = table.entries[i];
    ReleaseMemory(table.entries);
    table = grown;
    return true;
}

}  // namespace

uint64_t PrefixKey(const char* text) {
    uint64_t key = 0;
    for (int i = 0; i < 8 && text[i] != '\0'; i++)
        key |= static_cast<uint64_t>(static_cast<unsigned char>(text[i])) << (56 - 8 * i);
    return key;
}

int CompareKeyed(uint64_t keya, const char* a, uint64_t keyb, const char* b) {
    if (keya != keyb) return keya < keyb ? -1 : 1;
    return KeyHoldsWholeText(keya) ? 0 : std::strcmp(a + 8, b + 8);
}

HashProbe StartProbe(const HashTable& table, const char* text) {
    uint64_t key = PrefixKey(text);
    uint32_t hash = HashOf(key, text);
    if (table.capacity != 0) PrefetchMemory(&table.entries[FirstEntry(hash, table.capacity)]);
    return HashProbe{key, hash};
}

int32_t FinishProbe(const HashTable& table, const char* text, const HashProbe& probe) {
    if (table.capacity == 0) return -1;
    return EntryFor(table, probe.key, probe.hash, text).index;
}

int32_t FindText(const HashTable& table, const char* text) { return FinishProbe(table, text, StartProbe(table, text)); }

int ReserveTexts(HashTable& table, int32_t count) { return Grow(table, count, true) ? 1 : 0; }

int AddText(HashTable& table, int32_t index) {
    if (!Grow(table, table.count + 1, false)) return 0;
    const char* text = table.text(index);
    uint64_t key = PrefixKey(text);
    uint32_t hash = HashOf(key, text);
    HashEntry& entry = EntryFor(table, key, hash, text);
    if (entry.index >= 0) return 1;
    entry = HashEntry{key, index, hash};
    table.count++;
    return 1;
}

void ClearTexts(HashTable& table) {
    MarkEmpty(table.entries, table.capacity);
    table.count = 0;
}

void ReleaseHashTable(HashTable& table) {
    ReleaseMemory(table.entries);
    table.entries = nullptr;
    table.capacity = 0;
    table.count = 0;
}
