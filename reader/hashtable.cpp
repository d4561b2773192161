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

bool Grow(HashTable& table) {
    uint32_t capacity = table.capacity == 0 ? FirstCapacity : table.capacity * 2;
    if (table.capacity >= LargestCapacity) return false;
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

int AddText(HashTable& table, const char* text, void* value) {
    if (static_cast<uint32_t>(table.count) + 1 > table.capacity / 2 && !Grow(table)) return 0;
    uint64_t key = PrefixKey(text);
    HashEntry& entry = EntryFor(table, key, text, HashOf(key, text));
    if (entry.text != nullptr) return 1;
    entry = HashEntry{key, text, value};
    table.count++;
    return 1;
}

void** ValueOf(HashTable& table, const char* text) {
    if (table.capacity == 0) return nullptr;
    uint64_t key = PrefixKey(text);
    HashEntry& entry = EntryFor(table, key, text, HashOf(key, text));
    return entry.text != nullptr ? &entry.value : nullptr;
}

void ReleaseHashTable(HashTable& table) {
    ReleaseMemory(table.entries);
    table = HashTable{};
}
