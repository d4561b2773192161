// Indexes for the design tables: a name index over the component table, a
// reference index over the sorted parts table and, for each long pin list,
// a record of what the pin orders need to place a new entry without walking
// the list. Every allocation goes through the platform heap; a failed one
// drops the index and the plain algorithm goes on, so a run without memory
// for an index behaves exactly as one with it.
//
// Why the shortcuts give the plain algorithms' answers (tables.cpp holds
// them):
//
// 1. Appending. A walk appends when no entry stops it. For InsertLibPin an
//    entry stops a numeric pin when it is numeric with a greater value or a
//    text pin with a greater number text, and stops a text pin when its
//    number text is greater. For InsertNetPin the stop is "not less" on the
//    same terms, and text entries never stop a numeric pin. So the greatest
//    numeric value, the greatest number text of the text entries and the
//    greatest number text of all entries decide exactly whether the walk
//    would append; they only grow, as entries are never taken out.
// 2. Lists of one kind. While every entry is numeric, or every entry is a
//    text pin, the comparisons are a total order and every walk inserts into
//    a sorted list at its bound, so the list stays sorted: a binary search
//    over an array of the entries in list order finds the walk's place (the
//    upper bound for InsertLibPin, which passes equal pins; the lower bound
//    for InsertNetPin, whose stop entry decides the duplicate). The array
//    holds each entry's key beside it (the value, or the first eight bytes of
//    the text in byte order), so the search rarely reads the entry itself.
// 3. Mixed lists compare numbers with numbers but texts with texts, which is
//    no order at all: there the walk itself runs, after the append test.
// 4. FindLibPin wants the first pin of a number text in list order. In a
//    list of one kind, equal pins stand together in the order they came, so
//    the first of an equal run in the sorted array is the first in the list
//    (a numeric list is searched by value, then by text within the run; a
//    number that is not a digit string is in no numeric list, a digit string
//    with a value in no text list). A mixed list keeps a hash of the first
//    pin of each text: a new pin of a known text goes after the known one
//    when it is appended; after a walk it goes first exactly when the walk
//    did not pass the known one.
// 5. FindPart is a binary search. While the parts table is strictly sorted
//    (no two equal references), the search finds a reference exactly where
//    it stands, so a hash of the references gives the same index. The hash
//    is made only over a table found strictly sorted and is remade when the
//    count changes; the placement sort is the only reordering, and it leaves
//    a sorted table as it was. A reference the hash does not find goes to
//    the binary search.
#include "reader/index.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"

namespace {

constexpr int32_t LongScan = 32;     // entries passed before an index pays off
constexpr uint32_t FirstSlots = 16;  // smallest hash table; always a power of two
constexpr int32_t FirstSorted = 16;  // smallest array of a list's entries

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

uint32_t HashPointer(const void* pointer) { return HashKey(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(pointer))); }

// The first eight bytes of TEXT in byte order, zeros after its end: keys
// order as the texts do, and equal keys with a zero last byte mean equal
// texts.
uint64_t PrefixKey(const char* text) {
    uint64_t key = 0;
    for (int i = 0; i < 8 && text[i] != '\0'; i++)
        key |= static_cast<uint64_t>(static_cast<unsigned char>(text[i])) << (56 - 8 * i);
    return key;
}

bool KeyHoldsWholeText(uint64_t key) { return (key & 0xFF) == 0; }

// The hash of a text whose PrefixKey is KEY.
uint32_t TextHash(const char* text, uint64_t key) {
    return KeyHoldsWholeText(key) ? HashKey(key) : HashKey(key) ^ HashText(text + 8);
}

// Equal texts, the first of which has the PrefixKey KEY.
bool SameText(uint64_t key, const char* a, uint64_t otherkey, const char* b) {
    return key == otherkey && (KeyHoldsWholeText(key) || std::strcmp(a + 8, b + 8) == 0);
}

// A zeroed array of COUNT items of SIZE bytes, or null.
void* AllocateZeroed(std::size_t count, std::size_t size) {
    if (count > SIZE_MAX / size) return nullptr;
    void* block = AllocateMemory(count * size);
    if (block != nullptr) std::memset(block, 0, count * size);
    return block;
}

// The smallest power of two of at least FirstSlots that holds COUNT + 1
// entries with at most NUMERATOR / DENOMINATOR of its slots in use.
uint32_t SlotsFor(int32_t count, uint32_t numerator, uint32_t denominator) {
    uint32_t slots = FirstSlots;
    while (slots / denominator * numerator < static_cast<uint32_t>(count) + 1 && slots < (1u << 30)) slots *= 2;
    return slots;
}

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

struct TextSlot {
    uint64_t key;  // PrefixKey of the number text
    LibPin* pin;   // first pin of its number text in list order; null: empty slot
};

struct SortedEntry {
    uint64_t key;  // numbervalue, or PrefixKey of the number text
    void* entry;   // the LibPin or NetPin
};

// The index of one pin list. A list of one kind has its sorted array; a
// mixed component list has its text hash instead; a mixed part list has
// neither.
struct PinList {
    const void* owner;       // the ComponentDef or PartInstance whose list this is
    bool live;               // false: dropped, the plain algorithm serves the list
    bool component;          // a component's libpins (else a part's netpins)
    void* head;              // the list's first entry as the index last saw it
    void* tail;              // its last entry; null when empty
    int32_t count;           // entries
    int32_t numeric;         // entries whose pin has a numbervalue
    int32_t maxnumber;       // greatest of those numbervalues; -1 when none
    const char* maxtext;     // greatest number text of all entries; null when empty
    const char* maxtextpin;  // greatest number text of entries without numbervalue
    SortedEntry* sorted;     // the entries in list order, while all are of one kind
    int32_t sortedcapacity;
    TextSlot* texts;         // a mixed component list's pins by number text
    uint32_t textcapacity;
    int32_t textcount;
};

struct ListSlot {
    const void* owner;  // null: empty slot
    PinList* list;
};

struct IndexState {
    int mode = IndexLong;  // a test setting, kept across releases
    NameIndex names = {};
    ReferenceIndex references = {nullptr, 0, -1, nullptr};
    ListSlot* lists = nullptr;
    uint32_t listcapacity = 0;
    int32_t listcount = 0;
};

IndexState Indexes;

// What the pin orders read of an entry: its pin and its link on the list.
const LibPin* PinOf(const LibPin* entry) { return entry; }
const LibPin* PinOf(const NetPin* entry) { return entry->libpin; }
LibPin*& NextOf(LibPin* entry) { return entry->next; }
NetPin*& NextOf(NetPin* entry) { return entry->nextonpart; }

bool IsNumeric(const LibPin* pin) { return pin->numbervalue != -1; }

// The pin order of a component definition, as tables.cpp defines it.
int ComparePins(const LibPin* a, const LibPin* b) {
    if (IsNumeric(a) && IsNumeric(b))
        return a->numbervalue < b->numbervalue ? -1 : (a->numbervalue > b->numbervalue ? 1 : 0);
    return std::strcmp(a->number, b->number);
}

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
// the binary search (point 5), and makes it.
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

// ---- Pin lists ------------------------------------------------------------------

PinList* FindList(const void* owner) {
    if (Indexes.listcount == 0) return nullptr;
    uint32_t mask = Indexes.listcapacity - 1;
    for (uint32_t i = HashPointer(owner) & mask;; i = (i + 1) & mask) {
        const ListSlot& slot = Indexes.lists[i];
        if (slot.owner == owner) return slot.list;
        if (slot.owner == nullptr) return nullptr;
    }
}

bool AddList(PinList* list) {
    uint32_t capacity = SlotsFor(Indexes.listcount + 1, 1, 2);
    if (capacity > Indexes.listcapacity) {
        ListSlot* grown = static_cast<ListSlot*>(AllocateZeroed(capacity, sizeof(ListSlot)));
        if (grown == nullptr) return false;
        for (uint32_t i = 0; i < Indexes.listcapacity; i++) {
            const ListSlot& slot = Indexes.lists[i];
            if (slot.owner == nullptr) continue;
            uint32_t at = HashPointer(slot.owner) & (capacity - 1);
            while (grown[at].owner != nullptr) at = (at + 1) & (capacity - 1);
            grown[at] = slot;
        }
        ReleaseMemory(Indexes.lists);
        Indexes.lists = grown;
        Indexes.listcapacity = capacity;
    }
    uint32_t at = HashPointer(list->owner) & (Indexes.listcapacity - 1);
    while (Indexes.lists[at].owner != nullptr) at = (at + 1) & (Indexes.listcapacity - 1);
    Indexes.lists[at] = ListSlot{list->owner, list};
    Indexes.listcount++;
    return true;
}

// Frees what the index of one list holds and leaves it dropped; gives 0, the
// answer "not done" of the Indexed operations.
int Drop(PinList& list) {
    ReleaseMemory(list.sorted);
    ReleaseMemory(list.texts);
    const void* owner = list.owner;
    bool component = list.component;
    list = PinList{};
    list.owner = owner;
    list.component = component;
    return 0;
}

// The answer "done" of an Indexed operation whose change to the list is
// made but whose index could not follow it: the index is dropped.
int DoneWithoutIndex(PinList& list) {
    Drop(list);
    return 1;
}

bool OfOneKind(const PinList& list) { return list.numeric == 0 || list.numeric == list.count; }

// Whether the list is still of one kind once PIN is in it.
bool StaysOfOneKind(const PinList& list, const LibPin* pin) {
    if (list.count == 0) return true;
    return IsNumeric(pin) ? list.numeric == list.count : list.numeric == 0;
}

// Takes PIN's number into the list's greatest values and counts the entry.
void NoteEntry(PinList& list, const LibPin* pin) {
    list.count++;
    if (IsNumeric(pin)) {
        list.numeric++;
        if (pin->numbervalue > list.maxnumber) list.maxnumber = pin->numbervalue;
    } else if (list.maxtextpin == nullptr || std::strcmp(pin->number, list.maxtextpin) > 0) {
        list.maxtextpin = pin->number;
    }
    if (list.maxtext == nullptr || std::strcmp(pin->number, list.maxtext) > 0) list.maxtext = pin->number;
}

uint64_t SortKey(const LibPin* pin) {
    return IsNumeric(pin) ? static_cast<uint64_t>(pin->numbervalue) : PrefixKey(pin->number);
}

// Room for one more entry in the array of a list of one kind.
bool ReserveSorted(PinList& list) {
    if (list.sortedcapacity > list.count) return true;
    if (list.sortedcapacity > INT32_MAX / 2) return false;
    // A quarter more each time: these arrays are what the indexes cost.
    int32_t capacity = list.sortedcapacity < FirstSorted ? FirstSorted : list.sortedcapacity + list.sortedcapacity / 4;
    void* grown = ResizeMemory(list.sorted, sizeof(SortedEntry) * static_cast<std::size_t>(capacity));
    if (grown == nullptr) return false;
    list.sorted = static_cast<SortedEntry*>(grown);
    list.sortedcapacity = capacity;
    return true;
}

void InsertSorted(PinList& list, int32_t at, uint64_t key, void* entry) {
    std::memmove(list.sorted + at + 1, list.sorted + at, sizeof(SortedEntry) * static_cast<std::size_t>(list.count - at));
    list.sorted[at] = SortedEntry{key, entry};
}

void ForgetSorted(PinList& list) {
    ReleaseMemory(list.sorted);
    list.sorted = nullptr;
    list.sortedcapacity = 0;
}

const LibPin* SortedPin(const PinList& list, int32_t at) {
    if (list.component) return static_cast<const LibPin*>(list.sorted[at].entry);
    return static_cast<const NetPin*>(list.sorted[at].entry)->libpin;
}

// Entry AT of a one-kind list against PIN, whose SortKey is KEY: negative,
// zero or positive as the pin orders compare them (values, or texts).
int CompareSorted(const PinList& list, int32_t at, uint64_t key, const LibPin* pin) {
    uint64_t entry = list.sorted[at].key;
    if (entry != key) return entry < key ? -1 : 1;
    if (IsNumeric(pin) || KeyHoldsWholeText(key)) return 0;
    return std::strcmp(SortedPin(list, at)->number + 8, pin->number + 8);
}

// The first entry of a one-kind list that compares greater than PIN (UPPER,
// as InsertLibPin passes equal pins), or that is not less than PIN (as
// InsertNetPin stops at an equal one); KEY is PIN's SortKey (point 2).
int32_t Bound(const PinList& list, uint64_t key, const LibPin* pin, bool upper) {
    int32_t low = 0;
    int32_t high = list.count;
    while (low < high) {
        int32_t middle = low + (high - low) / 2;
        int order = CompareSorted(list, middle, key, pin);
        if (order < 0 || (upper && order == 0))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The slot holding the first pin numbered NUMBER (KEY its PrefixKey), or the
// empty slot where it belongs.
TextSlot* TextSlotFor(const PinList& list, const char* number, uint64_t key) {
    uint32_t mask = list.textcapacity - 1;
    for (uint32_t i = TextHash(number, key) & mask;; i = (i + 1) & mask) {
        TextSlot& slot = list.texts[i];
        if (slot.pin == nullptr || SameText(slot.key, slot.pin->number, key, number)) return &slot;
    }
}

// Room for one more text; false without memory.
bool ReserveTexts(PinList& list) {
    uint32_t capacity = SlotsFor(list.textcount + 1, 1, 2);
    if (capacity <= list.textcapacity) return true;
    TextSlot* grown = static_cast<TextSlot*>(AllocateZeroed(capacity, sizeof(TextSlot)));
    if (grown == nullptr) return false;
    for (uint32_t i = 0; i < list.textcapacity; i++) {
        const TextSlot& slot = list.texts[i];
        if (slot.pin == nullptr) continue;
        uint32_t at = TextHash(slot.pin->number, slot.key) & (capacity - 1);
        while (grown[at].pin != nullptr) at = (at + 1) & (capacity - 1);
        grown[at] = slot;
    }
    ReleaseMemory(list.texts);
    list.texts = grown;
    list.textcapacity = capacity;
    return true;
}

// Makes the text hash of a mixed component list from its pins (point 4);
// false without memory.
bool IndexTexts(PinList& list) {
    ReleaseMemory(list.texts);
    list.textcount = 0;
    list.textcapacity = SlotsFor(list.count, 1, 2);
    list.texts = static_cast<TextSlot*>(AllocateZeroed(list.textcapacity, sizeof(TextSlot)));
    if (list.texts == nullptr) {
        list.textcapacity = 0;
        return false;
    }
    for (LibPin* pin = static_cast<LibPin*>(list.head); pin != nullptr; pin = pin->next) {
        uint64_t key = PrefixKey(pin->number);
        TextSlot* slot = TextSlotFor(list, pin->number, key);
        if (slot->pin == nullptr) {
            *slot = TextSlot{key, pin};
            list.textcount++;
        }
    }
    return true;
}

// The first pin numbered NUMBER of a one-kind component list (point 4).
LibPin* FindSortedPin(const PinList& list, const char* number) {
    if (list.count == 0) return nullptr;
    LibPin probe = {};
    probe.number = number;
    probe.numbervalue = PinNumberValue(number);
    if (IsNumeric(&probe) != (list.numeric == list.count)) return nullptr;
    uint64_t key = SortKey(&probe);
    for (int32_t at = Bound(list, key, &probe, false); at < list.count && CompareSorted(list, at, key, &probe) == 0;
         at++) {
        LibPin* pin = static_cast<LibPin*>(list.sorted[at].entry);
        if (std::strcmp(pin->number, number) == 0) return pin;
    }
    return nullptr;
}

// The live index of OWNER's list whose first entry is HEAD; null when there
// is none or the list was changed other than through the index (dropped).
template <typename Entry>
PinList* LiveList(const void* owner, Entry* head) {
    if (Indexes.mode == IndexPlain) return nullptr;
    PinList* list = FindList(owner);
    if (list == nullptr || !list->live) return nullptr;
    Entry* tail = static_cast<Entry*>(list->tail);
    if (list->head != head || (tail == nullptr) != (head == nullptr) || (tail != nullptr && NextOf(tail) != nullptr)) {
        Drop(*list);
        return nullptr;
    }
    return list;
}

// Makes (or remakes) the index of OWNER's list that starts at HEAD.
template <typename Entry>
void IndexList(const void* owner, Entry* head, bool component) {
    PinList* list = FindList(owner);
    if (list == nullptr) {
        list = static_cast<PinList*>(AllocateZeroed(1, sizeof(PinList)));
        if (list == nullptr) return;
        list->owner = owner;
        list->component = component;
        if (!AddList(list)) {
            ReleaseMemory(list);
            return;
        }
    }
    Drop(*list);
    list->maxnumber = -1;
    for (Entry* entry = head; entry != nullptr; entry = NextOf(entry)) {
        NoteEntry(*list, PinOf(entry));
        list->tail = entry;
    }
    list->head = head;
    if (OfOneKind(*list)) {
        int32_t capacity = list->count < FirstSorted ? FirstSorted : list->count + list->count / 4;
        list->sorted = static_cast<SortedEntry*>(AllocateZeroed(static_cast<std::size_t>(capacity), sizeof(SortedEntry)));
        if (list->sorted == nullptr) {
            Drop(*list);
            return;
        }
        list->sortedcapacity = capacity;
        int32_t at = 0;
        for (Entry* entry = head; entry != nullptr; entry = NextOf(entry))
            list->sorted[at++] = SortedEntry{SortKey(PinOf(entry)), entry};
    } else if (component && !IndexTexts(*list)) {
        Drop(*list);
        return;
    }
    list->live = true;
}

// Whether the walk of InsertLibPin would pass every entry (point 1 above).
bool LibPinAppends(const PinList& list, const LibPin* pin) {
    if (IsNumeric(pin))
        return list.maxnumber <= pin->numbervalue &&
               (list.maxtextpin == nullptr || std::strcmp(list.maxtextpin, pin->number) <= 0);
    return list.maxtext == nullptr || std::strcmp(list.maxtext, pin->number) <= 0;
}

// Whether the walk of InsertNetPin would pass every entry (point 1 above).
bool NetPinAppends(const PinList& list, const LibPin* pin) {
    if (IsNumeric(pin)) return list.maxnumber < pin->numbervalue;
    return list.maxtext == nullptr || std::strcmp(list.maxtext, pin->number) < 0;
}

bool SamePartPin(const LibPin* entry, const LibPin* pin) {
    return IsNumeric(pin) ? entry->numbervalue == pin->numbervalue : std::strcmp(entry->number, pin->number) == 0;
}

}  // namespace

int SetIndexMode(int mode) {
    int previous = Indexes.mode;
    Indexes.mode = mode;
    return previous;
}

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
    if (references.capacity == 0) return 0;
    uint64_t key = PrefixKey(reference);
    uint32_t mask = references.capacity - 1;
    for (uint32_t i = TextHash(reference, key) & mask;; i = (i + 1) & mask) {
        const ReferenceSlot& slot = references.slots[i];
        if (slot.index == 0) return 0;
        if (slot.key == key &&
            (KeyHoldsWholeText(key) || std::strcmp(Design.parts[slot.index - 1]->reference + 8, reference + 8) == 0)) {
            *index = slot.index - 1;
            return 1;
        }
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

int FindIndexedLibPin(const ComponentDef* component, const char* number, LibPin** pin) {
    PinList* list = LiveList(component, component->libpins);
    if (list == nullptr) return 0;
    *pin = list->texts != nullptr ? TextSlotFor(*list, number, PrefixKey(number))->pin : FindSortedPin(*list, number);
    return 1;
}

int InsertIndexedLibPin(ComponentDef* component, LibPin* pin) {
    PinList* list = LiveList(component, component->libpins);
    if (list == nullptr) return 0;
    bool wasonekind = OfOneKind(*list);
    bool onekind = StaysOfOneKind(*list, pin);
    uint64_t key = SortKey(pin);
    uint64_t textkey = PrefixKey(pin->number);
    // In a mixed list: the first pin of this number so far, and whether the
    // new pin goes after it.
    LibPin* known = wasonekind ? nullptr : TextSlotFor(*list, pin->number, textkey)->pin;
    bool passedknown = true;
    int32_t at = list->count;
    LibPin** link;
    if (list->count == 0 || LibPinAppends(*list, pin)) {
        link = list->tail != nullptr ? &static_cast<LibPin*>(list->tail)->next : &component->libpins;
    } else if (onekind) {
        at = Bound(*list, key, pin, true);
        link = at > 0 ? &static_cast<LibPin*>(list->sorted[at - 1].entry)->next : &component->libpins;
    } else {
        passedknown = false;
        link = &component->libpins;
        while (*link != nullptr && ComparePins(*link, pin) <= 0) {
            if (*link == known) passedknown = true;
            link = &(*link)->next;
        }
    }
    pin->next = *link;
    *link = pin;
    if (pin->next == nullptr) list->tail = pin;
    list->head = component->libpins;
    // The pin is in its place; an index that cannot keep up is dropped.
    if (onekind) {
        if (!ReserveSorted(*list)) return DoneWithoutIndex(*list);
        InsertSorted(*list, at, key, pin);
        NoteEntry(*list, pin);
    } else if (wasonekind) {
        // Just mixed: from now on its pins are found by text.
        ForgetSorted(*list);
        NoteEntry(*list, pin);
        if (!IndexTexts(*list)) return DoneWithoutIndex(*list);
    } else {
        NoteEntry(*list, pin);
        if (known == nullptr) {
            if (!ReserveTexts(*list)) return DoneWithoutIndex(*list);
            *TextSlotFor(*list, pin->number, textkey) = TextSlot{textkey, pin};
            list->textcount++;
        } else if (!passedknown) {
            TextSlotFor(*list, pin->number, textkey)->pin = pin;
        }
    }
    return 1;
}

void IndexLibPins(const ComponentDef* component) {
    if (Indexes.mode != IndexPlain) IndexList(component, component->libpins, true);
}

int InsertIndexedNetPin(PartInstance* part, NetPin* connection, int* accepted) {
    PinList* list = LiveList(part, part->netpins);
    if (list == nullptr) return 0;
    const LibPin* pin = connection->libpin;
    bool onekind = StaysOfOneKind(*list, pin);
    uint64_t key = onekind ? SortKey(pin) : 0;
    int32_t at = list->count;
    NetPin** link;
    *accepted = 0;
    if (list->count == 0 || NetPinAppends(*list, pin)) {
        link = list->tail != nullptr ? &static_cast<NetPin*>(list->tail)->nextonpart : &part->netpins;
    } else if (onekind) {
        at = Bound(*list, key, pin, false);
        if (at < list->count && CompareSorted(*list, at, key, pin) == 0) return 1;
        link = at > 0 ? &static_cast<NetPin*>(list->sorted[at - 1].entry)->nextonpart : &part->netpins;
    } else {
        link = &part->netpins;
        if (IsNumeric(pin)) {
            while (*link != nullptr && (*link)->libpin->numbervalue < pin->numbervalue) link = &(*link)->nextonpart;
        } else {
            while (*link != nullptr && std::strcmp((*link)->libpin->number, pin->number) < 0)
                link = &(*link)->nextonpart;
        }
        if (*link != nullptr && SamePartPin((*link)->libpin, pin)) return 1;
    }
    connection->nextonpart = *link;
    *link = connection;
    *accepted = 1;
    if (connection->nextonpart == nullptr) list->tail = connection;
    list->head = part->netpins;
    // The connection is in its place; an index that cannot keep up is dropped.
    if (onekind) {
        if (!ReserveSorted(*list)) return DoneWithoutIndex(*list);
        InsertSorted(*list, at, key, connection);
    } else {
        ForgetSorted(*list);
    }
    NoteEntry(*list, pin);
    return 1;
}

void IndexNetPins(const PartInstance* part) {
    if (Indexes.mode != IndexPlain) IndexList(part, part->netpins, false);
}

void ReleaseIndexes() {
    for (uint32_t i = 0; i < Indexes.listcapacity; i++) {
        PinList* list = Indexes.lists[i].list;
        if (list == nullptr) continue;
        Drop(*list);
        ReleaseMemory(list);
    }
    ReleaseMemory(Indexes.lists);
    Indexes.lists = nullptr;
    Indexes.listcapacity = 0;
    Indexes.listcount = 0;
    ReleaseNames();
    ReleaseReferences();
}
