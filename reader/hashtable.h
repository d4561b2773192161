// An open-addressing hash table of texts, each leading to an index of a
// table of records: the one way the reader finds a record by its name. The
// texts are the records' own; the table keeps their first bytes, and the
// caller's TextOf gives the rest of an index's text when those bytes do not
// hold it all.
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
using TextOf = const char* (*)(int32_t index);

struct HashTable {
    TextOf text = nullptr;         // the text that an entry's index stands for
    HashEntry* entries = nullptr;  // null until the first text comes
    uint32_t capacity = 0;         // entries; at most two thirds of them in use
    int32_t count = 0;
};

// A lookup begun ahead: where its search starts, asked of the cache, so
// that the lookups of a run of connections wait on memory together.
struct HashProbe {
    uint64_t key;
    uint32_t hash;
};
HashProbe StartProbe(const HashTable& table, const char* text);
// The index of TEXT (whose probe that is), or -1 when it is not there.
int32_t FinishProbe(const HashTable& table, const char* text, const HashProbe& probe);
int32_t FindText(const HashTable& table, const char* text);

// Adds the text of INDEX (at least 0), unless an equal text is there, which
// keeps its index. 1, or 0 (table unchanged) without memory.
int AddText(HashTable& table, int32_t index);
// Makes room for COUNT texts in all, so that as many AddText calls cannot
// fail; 1, or 0 without memory (table unchanged).
int ReserveTexts(HashTable& table, int32_t count);
// Takes every text out, keeping the room.
void ClearTexts(HashTable& table);
// Frees the entries; the table stays usable, empty.
void ReleaseHashTable(HashTable& table);
