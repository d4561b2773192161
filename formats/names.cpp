// An open-addressing set of written names. Each name and the object's own
// name are kept as one text pair in a buffer of the set's own, so the set
// depends on no record that the hooks cannot see.
#include "formats/names.h"

#include <cstring>

#include "platform/platform.h"

struct NameSlot {
    uint32_t hash;    // of the name
    uint32_t offset;  // of the name in texts, plus 1; 0: empty slot
};

namespace {

constexpr uint32_t FirstSlotCount = 1024;
constexpr std::size_t FirstTextBytes = 16384;
// Offsets are kept in 32 bits: past this the set takes nothing more.
constexpr std::size_t TextLimit = UINT32_MAX - 1;

// The hash of NAME; *LENGTH becomes its length.
uint32_t HashName(const char* name, std::size_t* length) {
    uint32_t hash = 2166136261u;  // 32-bit FNV-1a
    const char* c = name;
    for (; *c != '\0'; c++) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    *length = static_cast<std::size_t>(c - name);
    return hash;
}

// Room for at least one more name at a load of at most a half.
int MakeRoom(NameSet* set) {
    uint32_t slotcount = set->slots == nullptr ? 0 : set->mask + 1;
    if (slotcount != 0 && static_cast<uint32_t>(set->count) < slotcount / 2) return 1;
    if (slotcount > UINT32_MAX / 4) return 0;
    uint32_t grown = slotcount == 0 ? FirstSlotCount : slotcount * 2;
    auto* slots = static_cast<NameSlot*>(AllocateMemory(sizeof(NameSlot) * grown));
    if (slots == nullptr) return 0;
    std::memset(slots, 0, sizeof(NameSlot) * grown);
    for (uint32_t i = 0; i < slotcount; i++) {
        if (set->slots[i].offset == 0) continue;
        uint32_t at = set->slots[i].hash & (grown - 1);
        while (slots[at].offset != 0) at = (at + 1) & (grown - 1);
        slots[at] = set->slots[i];
    }
    ReleaseMemory(set->slots);
    set->slots = slots;
    set->mask = grown - 1;
    return 1;
}

// Appends NAME (LENGTH bytes) and ORIGINAL, each terminated; gives the
// name's offset plus 1, or 0 when memory cannot be had.
uint32_t KeepTexts(NameSet* set, const char* name, std::size_t length, const char* original) {
    std::size_t originallength = std::strlen(original);
    std::size_t needed = length + originallength + 2;
    if (needed > TextLimit - set->used) return 0;
    if (set->used + needed > set->capacity) {
        std::size_t grown = set->capacity == 0 ? FirstTextBytes : set->capacity;
        while (grown < set->used + needed) grown = grown > TextLimit / 2 ? TextLimit : grown * 2;
        char* texts = static_cast<char*>(ResizeMemory(set->texts, grown));
        if (texts == nullptr) return 0;
        set->texts = texts;
        set->capacity = grown;
    }
    char* at = set->texts + set->used;
    std::memcpy(at, name, length);
    at[length] = '\0';
    std::memcpy(at + length + 1, original, originallength + 1);
    uint32_t offset = static_cast<uint32_t>(set->used) + 1;
    set->used += needed;
    return offset;
}

}  // namespace

int NoteWrittenName(NameSet* set, const char* name, const char* original, const char** kept,
                    const char** earlier) {
    *kept = nullptr;
    *earlier = nullptr;
    std::size_t length = 0;
    uint32_t hash = HashName(name, &length);
    uint32_t found = 0;
    if (set->slots != nullptr) {
        for (uint32_t at = hash & set->mask; set->slots[at].offset != 0; at = (at + 1) & set->mask) {
            const NameSlot& slot = set->slots[at];
            if (slot.hash == hash && std::strcmp(set->texts + slot.offset - 1, name) == 0) {
                found = slot.offset;
                break;
            }
        }
    }
    if (found == 0 && !MakeRoom(set)) return 0;
    // A repeated name keeps its texts too, but no slot: the report of the
    // repeat needs this object's own name after the caller has moved on.
    uint32_t offset = KeepTexts(set, name, length, original);
    if (offset == 0) return 0;
    *kept = set->texts + offset - 1 + length + 1;
    if (found != 0) {
        *earlier = set->texts + found - 1 + length + 1;
        return 1;
    }
    uint32_t at = hash & set->mask;
    while (set->slots[at].offset != 0) at = (at + 1) & set->mask;
    set->slots[at] = {hash, offset};
    set->count++;
    return 1;
}

void ReleaseNameSet(NameSet* set) {
    ReleaseMemory(set->slots);
    ReleaseMemory(set->texts);
    *set = {};
}
