// An open-addressing hash table of texts, each leading to one value: the
// one way the reader finds a record by its name. The texts are the
// caller's (carved with the design) and must outlive their entries.
#pragma once

#include <cstdint>

// The first eight bytes of TEXT in byte order, zeros after its end: keys
// order as the texts do, and a key whose last byte is zero holds the whole
// text.
uint64_t PrefixKey(const char* text);
inline bool KeyHoldsWholeText(uint64_t key) { return (key & 0xFF) == 0; }
// Byte-wise order of two texts whose PrefixKeys are KEYA and KEYB.
int CompareKeyed(uint64_t keya, const char* a, uint64_t keyb, const char* b);

struct HashEntry;

struct HashTable {
    HashEntry* entries = nullptr;  // null until the first text comes
    uint32_t capacity = 0;         // a power of two; at most half of it in use
    int32_t count = 0;
};

// A lookup begun ahead: where its search starts, asked of the cache, so
// that the lookups of a run of connections wait on memory together.
struct HashProbe {
    uint64_t key;
    uint32_t slot;
};
HashProbe StartProbe(const HashTable& table, const char* text);
// The value of TEXT (whose probe that is), or null when it is not there.
void* FinishProbe(const HashTable& table, const char* text, const HashProbe& probe);
void* FindText(const HashTable& table, const char* text);

// Adds TEXT leading to VALUE (not null); a text already there keeps its
// value. 1, or 0 (table unchanged) without memory.
int AddText(HashTable& table, const char* text, void* value);
// Makes room for COUNT texts in all, so that as many AddText and PutText
// calls cannot fail; 1, or 0 without memory (table unchanged).
int ReserveTexts(HashTable& table, int32_t count);
// Adds TEXT leading to VALUE, or makes VALUE the value of TEXT where it is
// there already; 1, or 0 (table unchanged) without memory.
int PutText(HashTable& table, const char* text, void* value);
void ReleaseHashTable(HashTable& table);
