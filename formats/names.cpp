// An open-addressing set of written names. Each name and the object's own
// name are kept in a buffer of the set's own, so the set depends on no
// record that the hooks cannot see: a byte that says whether the object's
// name follows, the name, terminated, and the object's name, terminated,
// unless it is the name itself, as it mostly is.
#include "formats/names.h"

#include <cstring>

#include "platform/platform.h"

struct NameSlot {
    uint32_t hash;    // of the name
    uint32_t offset;  // of the note in texts, plus 1; 0: empty slot
};

namespace {

constexpr uint32_t FirstSlotCount = 1024;
constexpr std::size_t FirstTextBytes = 16384;
// Offsets are kept in 32 bits: past this the set takes nothing more.
constexpr std::size_t TextLimit = UINT32_MAX - 1;
constexpr char OriginalFollows = 1;

// The hash of NAME; *LENGTH becomes its length.
uint32_t HashName(const char* name, std::size_t* length) {
    uint32_t hash = 2166136261u;  // 32-bit FNV-1a
    const char* c = name;
    for (; *c != '\0'; c++) hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    *length = static_cast<std::size_t>(c - name);
    return hash;
}

// The slot where the search for HASH starts: the hash scaled to the slot
// count, which need not be a power of two. The scaling reads the high bits,
// where FNV-1a leaves names that differ in their last byte close together:
// a multiplication spreads them first.
uint32_t FirstSlot(uint32_t hash, uint32_t capacity) {
    uint32_t spread = hash * 0x9E3779B1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(spread) * capacity) >> 32);
}

uint32_t NextSlot(uint32_t at, uint32_t capacity) { return at + 1 == capacity ? 0 : at + 1; }

const char* NameOf(const NameSet* set, uint32_t offset) { return set->texts + offset; }

// The object's name kept with the note at OFFSET, whose name is LENGTH long.
const char* OriginalOf(const NameSet* set, uint32_t offset, std::size_t length) {
    const char* name = NameOf(set, offset);
    return name[-1] == OriginalFollows ? name + length + 1 : name;
}

// Room for at least one more name at a load of at most two thirds. Slots
// and texts grow by half: a set as large as the design's parts or nets
// should not take twice what it needs.
int MakeRoom(NameSet* set) {
    uint64_t slotcount = set->slotcount;
    if (slotcount != 0 && (static_cast<uint64_t>(set->count) + 1) * 3 <= slotcount * 2) return 1;
    uint64_t grown = slotcount == 0 ? FirstSlotCount : slotcount + slotcount / 2;
    if (grown > UINT32_MAX / 4) return 0;
    auto capacity = static_cast<uint32_t>(grown);
    auto* slots = static_cast<NameSlot*>(AllocateMemory(sizeof(NameSlot) * capacity));
    if (slots == nullptr) return 0;
    std::memset(slots, 0, sizeof(NameSlot) * capacity);
    for (uint32_t i = 0; i < set->slotcount; i++) {
        if (set->slots[i].offset == 0) continue;
        uint32_t at = FirstSlot(set->slots[i].hash, capacity);
        while (slots[at].offset != 0) at = NextSlot(at, capacity);
        slots[at] = set->slots[i];
    }
    ReleaseMemory(set->slots);
    set->slots = slots;
    set->slotcount = capacity;
    return 1;
}

// Appends the note of NAME (LENGTH bytes) and ORIGINAL; gives the offset of
// its name plus 1, or 0 when memory cannot be had.
uint32_t KeepTexts(NameSet* set, const char* name, std::size_t length, const char* original) {
    bool follows = std::strcmp(name, original) != 0;
    std::size_t originallength = follows ? std::strlen(original) + 1 : 0;
    std::size_t needed = 1 + length + 1 + originallength;
    if (needed > TextLimit - set->used) return 0;
    if (set->used + needed > set->capacity) {
        std::size_t grown = set->capacity == 0 ? FirstTextBytes : set->capacity;
        while (grown < set->used + needed) grown = grown > TextLimit / 3 * 2 ? TextLimit : grown + grown / 2;
        char* texts = static_cast<char*>(ResizeMemory(set->texts, grown));
        if (texts == nullptr) return 0;
        set->texts = texts;
        set->capacity = grown;
    }
    char* at = set->texts + set->used;
    *at++ = follows ? OriginalFollows : 0;
    std::memcpy(at, name, length);
    at[length] = '\0';
    if (follows) std::memcpy(at + length + 1, original, originallength);
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
        for (uint32_t at = FirstSlot(hash, set->slotcount); set->slots[at].offset != 0;
             at = NextSlot(at, set->slotcount)) {
            const NameSlot& slot = set->slots[at];
            if (slot.hash == hash && std::strcmp(NameOf(set, slot.offset), name) == 0) {
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
    *kept = OriginalOf(set, offset, length);
    if (found != 0) {
        *earlier = OriginalOf(set, found, length);
        return 1;
    }
    uint32_t at = FirstSlot(hash, set->slotcount);
    while (set->slots[at].offset != 0) at = NextSlot(at, set->slotcount);
    set->slots[at] = {hash, offset};
    set->count++;
    return 1;
}

void ReleaseNameSet(NameSet* set) {
    ReleaseMemory(set->slots);
    ReleaseMemory(set->texts);
    *set = {};
}
