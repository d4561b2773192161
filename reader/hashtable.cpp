// Linear probing over a power-of-two array, at most half full. Each entry
// keeps the text's first eight bytes beside its pointer, so most probes
// decide without reading the text, which stands anywhere in memory.
#include "reader/hashtable.h"

#include <cstring>

#include "platform/platform.h"

struct HashEntry {
    uint64_t key;      // PrefixKey of the text
    const char* text;  // null: an empty slot
    void* value;
};

namespace {

constexpr uint32_t FirstCapacity = 16;
constexpr uint32_t LargestCapacity = 1u << 30;

// Every bit of the key reaches the low bits that pick a slot; the rest of
// a longer text is folded in by FNV-1a.
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

bool SameText(const HashEntry& entry, uint64_t key, const char* text) {
    return entry.key == key && (KeyHoldsWholeText(key) || std::strcmp(entry.text + 8, text + 8) == 0);
}

// The entry holding TEXT from SLOT on, or the empty one where it belongs.
HashEntry& EntryFor(const HashTable& table, uint64_t key, const char* text, uint32_t slot) {
    uint32_t mask = table.capacity - 1;
    for (uint32_t i = slot & mask;; i = (i + 1) & mask) {
        HashEntry& entry = table.entries[i];
        if (entry.text == nullptr || SameText(entry, key, text)) return entry;
    }
}

// Room for COUNT entries at most half full; false without memory.
bool Grow(HashTable& table, int32_t count) {
    uint32_t capacity = table.capacity == 0 ? FirstCapacity : table.capacity;
    while (capacity / 2 < static_cast<uint32_t>(count)) {
        if (capacity >= LargestCapacity) return false;
        capacity *= 2;
    }
    if (capacity == table.capacity) return true;
    HashEntry* entries = static_cast<HashEntry*>(AllocateMemory(sizeof(HashEntry) * capacity));
    if (entries == nullptr) return false;
    std::memset(entries, 0, sizeof(HashEntry) * capacity);
    HashTable grown = {entries, capacity, table.count};
    for (uint32_t i = 0; i < table.capacity; i++) {
        const HashEntry& entry = table.entries[i];
        if (entry.text != nullptr) EntryFor(grown, entry.key, entry.text, HashOf(entry.key, entry.text)) = entry;
    }
    ReleaseMemory(table.entries);
    table = grown;
    return true;
}

// The entry of TEXT, or the empty one where it belongs, in a table with
// room for one more.
HashEntry& Place(HashTable& table, const char* text) {
    uint64_t key = PrefixKey(text);
    return EntryFor(table, key, text, HashOf(key, text));
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
    uint32_t slot = HashOf(key, text);
    if (table.capacity != 0) PrefetchMemory(&table.entries[slot & (table.capacity - 1)]);
    return HashProbe{key, slot};
}

void* FinishProbe(const HashTable& table, const char* text, const HashProbe& probe) {
    if (table.capacity == 0) return nullptr;
    return EntryFor(table, probe.key, text, probe.slot).value;
}

void* FindText(const HashTable& table, const char* text) { return FinishProbe(table, text, StartProbe(table, text)); }

int ReserveTexts(HashTable& table, int32_t count) { return Grow(table, count) ? 1 : 0; }

int AddText(HashTable& table, const char* text, void* value) {
    if (!Grow(table, table.count + 1)) return 0;
    HashEntry& entry = Place(table, text);
    if (entry.text != nullptr) return 1;
    entry = HashEntry{PrefixKey(text), text, value};
    table.count++;
    return 1;
}

int PutText(HashTable& table, const char* text, void* value) {
    if (!Grow(table, table.count + 1)) return 0;
    HashEntry& entry = Place(table, text);
    if (entry.text == nullptr) table.count++;
    entry = HashEntry{PrefixKey(text), text, value};
    return 1;
}

void ReleaseHashTable(HashTable& table) {
    ReleaseMemory(table.entries);
    table = HashTable{};
}
