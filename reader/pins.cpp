// Pin order. The plain algorithms define it: InsertLibPin walks the
// component's pins from the head and inserts the new pin before the first
// entry that compares greater (numbers when both pins are numeric, else
// their texts; equal pins are passed, so a later one goes after an earlier
// one); InsertNetPin walks the part's connections from the head, passes
// every entry less than the new pin (a numeric pin compares values, and
// text entries never stop it; a text pin compares texts) and refuses the
// pin as a duplicate when the entry it stops at is equal; FindLibPin gives
// the first pin of a number text in list order. Both walks are below
// (WalkLibPins, WalkNetPins); the plain path and mixed lists call them.
//
// A walk or scan that passes IndexThreshold() entries asks for an index of
// its list, which from then on does the work without the walk. Every index
// allocation goes through the platform heap; an index that cannot be
// allocated, or whose list was changed other than through these operations,
// is dropped and the plain algorithm goes on.
//
// Why the shortcuts give the plain algorithms' answers:
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
// 5. Parts of a component whose pins are of one kind. The component's list
//    is then sorted (point 2), so the distinct keys of its pins (values, or
//    texts) can be ranked in list order, and every connection of a part of
//    that component names one of those pins (FindLibPin searches the part's
//    component). For two such connections InsertNetPin's comparison is the
//    comparison of their keys, hence of their ranks, and "equal" is "same
//    rank". So a part keeps one slot per rank: a taken slot is the duplicate
//    the walk would stop at, and the entry of the nearest taken slot below
//    is the one the walk would pass last, after which the connection goes;
//    the entry of the nearest taken slot above is the one that follows it,
//    as the list holds exactly the slots' entries in rank order.
//    A ranking holds while the component's list is as it was ranked; once
//    it changes the component is never ranked again and its parts go back
//    to the walk and the indexes above (the lists themselves were kept in
//    pin order all along), as does a part whose list changed behind the
//    slots' back. A ranked component of numbers whose values are dense
//    keeps the first pin of each value in a table; the pins of one value
//    follow it in the list (point 4), so FindLibPin reads the table and then
//    that run.
#include "reader/pins.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/index.h"

// Where a part's connections stand by the rank of their pins (point 5):
// the header, then a NetPin* per rank, then a bit per rank for the taken
// ones. Carved with the design.
struct PinSlots {
    const NetPin* head;  // the part's first connection as the slots last saw it
    int32_t component;   // the component whose ranking they follow
    int32_t count;       // ranks
};

namespace {

constexpr int32_t FirstSorted = 16;  // smallest array of a list's entries
// Components with more distinct pin keys are left to the indexes: the
// search for a part's nearest taken slot reads up to this many bits.
constexpr int32_t SlotLimit = 4096;
// Below this many distinct keys the walk passes a few entries at most and
// costs less than a slot block; at this many, the entries it passes, each
// a record anywhere in memory, cost more than the block's bytes.
constexpr int32_t SlotMinimum = 4;
constexpr int32_t SlotWordBits = 32;  // a word of 32 bits is aligned wherever a pointer is
// A component of numbers finds its pins by a table of values when its
// greatest value is below this many times its count of pins.
constexpr int32_t ValueTableSpread = 4;

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

// The indexes of pin lists, found by the list's owner.
struct PinListState {
    ListSlot* lists = nullptr;
    uint32_t listcapacity = 0;
    int32_t listcount = 0;
};

PinListState PinLists;

// What the pin orders read of an entry: its pin and its link on the list.
const LibPin* PinOf(const LibPin* entry) { return entry; }
const LibPin* PinOf(const NetPin* entry) { return entry->libpin; }
LibPin*& NextOf(LibPin* entry) { return entry->next; }
NetPin*& NextOf(NetPin* entry) { return entry->nextonpart; }

bool IsNumeric(const LibPin* pin) { return pin->numbervalue != -1; }

int ComparePins(const LibPin* a, const LibPin* b) {
    if (IsNumeric(a) && IsNumeric(b))
        return a->numbervalue < b->numbervalue ? -1 : (a->numbervalue > b->numbervalue ? 1 : 0);
    return std::strcmp(a->number, b->number);
}

// ---- Slots by pin rank (point 5) ----

// Ranks the pins of COMPONENT when they are of one kind and few enough;
// sets pinkeys to their count of distinct keys, or -1.
void RankPins(ComponentDef* component) {
    component->pinkeys = -1;
    component->rankedhead = component->libpins;
    component->valuelimit = 0;
    int32_t count = 0;
    int32_t numeric = 0;
    int32_t keys = 0;
    const LibPin* previous = nullptr;
    for (LibPin* pin = component->libpins; pin != nullptr; pin = pin->next) {
        count++;
        if (IsNumeric(pin)) numeric++;
        if (previous == nullptr || ComparePins(previous, pin) != 0) keys++;
        pin->rank = keys - 1;
        previous = pin;
    }
    if (keys == 0 || keys > SlotLimit || (numeric != 0 && numeric != count)) return;
    component->pinkeys = keys;
    if (numeric == 0) return;
    // Values as dense as a component's pin numbers usually are find their
    // pins by value; the table costs at most a few slots per pin.
    int32_t greatest = 0;
    for (const LibPin* pin = component->libpins; pin != nullptr; pin = pin->next) greatest = pin->numbervalue;
    if (greatest >= ValueTableSpread * count) return;
    std::size_t tablesize = sizeof(LibPin*) * (static_cast<std::size_t>(greatest) + 1);
    LibPin** table = static_cast<LibPin**>(CarveDesignRecord(tablesize));
    if (table == nullptr) return;
    std::memset(table, 0, tablesize);
    // The list is sorted by value: the first pin of each value is the first
    // one in list order (point 4).
    for (LibPin* pin = component->libpins; pin != nullptr; pin = pin->next)
        if (table[pin->numbervalue] == nullptr) table[pin->numbervalue] = pin;
    component->pinsbyvalue = table;
    component->valuelimit = greatest + 1;
}

// Whether COMPONENT's pins are ranked as its list now stands (ranking it
// first when it never was); a component changed since is never again.
bool Ranked(ComponentDef* component) {
    if (component->pinkeys == 0) RankPins(component);
    if (component->pinkeys > 0 && component->rankedhead != component->libpins) component->pinkeys = -1;
    return component->pinkeys > 0;
}

// Whether COMPONENT's table of values answers for its pins as its list
// stands: what Ranked would say of it, without ranking anything.
bool ValueTableAnswers(const ComponentDef* component) {
    return IndexesOn() && component->pinkeys > 0 && component->rankedhead == component->libpins &&
           component->valuelimit != 0;
}

// FindLibPin over a ranked component of numbers that has its table of
// values: 1 and the pin (or null) in *PIN, or 0 when the table cannot
// answer.
int FindPinByValue(ComponentDef* component, const char* number, LibPin** pin) {
    if (!IndexesOn() || !Ranked(component)) return 0;
    return FinishPinProbe(StartPinProbe(component, number), number, pin);
}
}  // namespace

PinProbe StartPinProbe(const ComponentDef* component, const char* number) {
    if (!ValueTableAnswers(component)) return PinProbe{nullptr, -1, false};
    int32_t value = PinNumberValue(number);
    // Texts are in no list of numbers.
    if (value < 0 || value >= component->valuelimit) return PinProbe{nullptr, value, true};
    LibPin* const* entry = &component->pinsbyvalue[value];
    PrefetchMemory(entry);
    return PinProbe{entry, value, true};
}

int FinishPinProbe(const PinProbe& probe, const char* number, LibPin** pin) {
    if (!probe.answers) return 0;
    *pin = nullptr;
    if (probe.entry == nullptr) return 1;
    // Equal values stand together; the first of them with this very text.
    for (LibPin* candidate = *probe.entry; candidate != nullptr && candidate->numbervalue == probe.value;
         candidate = candidate->next) {
        if (std::strcmp(candidate->number, number) == 0) {
            *pin = candidate;
            break;
        }
    }
    return 1;
}

namespace {

int32_t SlotWords(int32_t slots) { return (slots + SlotWordBits - 1) / SlotWordBits; }

NetPin** SlotEntries(PinSlots* slots) { return reinterpret_cast<NetPin**>(slots + 1); }

uint32_t* SlotsTaken(PinSlots* slots) { return reinterpret_cast<uint32_t*>(SlotEntries(slots) + slots->count); }

// The highest set bit of a non-zero WORD.
int32_t HighestBit(uint32_t word) {
    int32_t bit = 0;
    for (int32_t step = 16; step > 0; step /= 2) {
        if ((word >> step) != 0) {
            word >>= step;
            bit += step;
        }
    }
    return bit;
}

// The lowest set bit of a non-zero WORD.
int32_t LowestBit(uint32_t word) { return HighestBit(word & (~word + 1)); }

// The entry of the nearest slot taken below RANK, or null.
NetPin* SlotBelow(PinSlots* slots, int32_t rank) {
    const uint32_t* taken = SlotsTaken(slots);
    int32_t at = rank / SlotWordBits;
    uint32_t below = taken[at] & ((uint32_t{1} << (rank % SlotWordBits)) - 1);
    while (below == 0 && at > 0) below = taken[--at];
    return below != 0 ? SlotEntries(slots)[at * SlotWordBits + HighestBit(below)] : nullptr;
}

// The entry of the nearest slot taken above RANK, or null.
NetPin* SlotAbove(PinSlots* slots, int32_t rank) {
    const uint32_t* taken = SlotsTaken(slots);
    int32_t at = rank / SlotWordBits;
    uint32_t bit = uint32_t{1} << (rank % SlotWordBits);
    uint32_t above = taken[at] & ~(bit | (bit - 1));
    int32_t words = SlotWords(slots->count);
    while (above == 0 && at + 1 < words) above = taken[++at];
    return above != 0 ? SlotEntries(slots)[at * SlotWordBits + LowestBit(above)] : nullptr;
}

// Puts CONNECTION into PART's list by its pin's rank; 1 when the slots did
// the work (*accepted as InsertNetPin gives it), 0 when the walk and the
// indexes must.
int InsertBySlot(PartInstance* part, NetPin* connection, int* accepted) {
    if (!IndexesOn()) return 0;
    const LibPin* pin = connection->libpin;
    if (pin->component < 0 || pin->component >= Design.componentcount) return 0;
    ComponentDef* component = Design.components[pin->component];
    PinSlots* slots = part->pinslots;
    if (slots == nullptr) {
        // Only a list begun here is kept here.
        if (part->netpins != nullptr || !Ranked(component) || component->pinkeys < SlotMinimum) return 0;
        std::size_t size = sizeof(PinSlots) + sizeof(NetPin*) * static_cast<std::size_t>(component->pinkeys) +
                           sizeof(uint32_t) * static_cast<std::size_t>(SlotWords(component->pinkeys));
        slots = static_cast<PinSlots*>(CarveDesignRecord(size));
        if (slots == nullptr) return 0;
        // An entry is read only where its bit is set: only the bits start zeroed.
        slots->head = nullptr;
        slots->component = pin->component;
        slots->count = component->pinkeys;
        std::memset(SlotsTaken(slots), 0, sizeof(uint32_t) * static_cast<std::size_t>(SlotWords(slots->count)));
        part->pinslots = slots;
    } else if (slots->component != pin->component || slots->head != part->netpins || !Ranked(component)) {
        // The slots no longer say where the list's entries are.
        part->pinslots = nullptr;
        return 0;
    }
    int32_t rank = pin->rank;
    NetPin** entries = SlotEntries(slots);
    uint32_t* taken = SlotsTaken(slots);
    int32_t word = rank / SlotWordBits;
    uint32_t bit = uint32_t{1} << (rank % SlotWordBits);
    *accepted = 0;
    if ((taken[word] & bit) != 0) return 1;
    // The neighbours come from the slots: the entry below is only written,
    // so its record, which may be anywhere, is never waited for.
    NetPin* below = SlotBelow(slots, rank);
    connection->nextonpart = SlotAbove(slots, rank);
    if (below != nullptr)
        below->nextonpart = connection;
    else
        part->netpins = connection;
    entries[rank] = connection;
    taken[word] |= bit;
    slots->head = part->netpins;
    *accepted = 1;
    return 1;
}

// The walk of InsertLibPin from LINK (the list's head link): the link
// before the first entry greater than PIN. *PASSED counts the entries
// passed; KNOWN, when not null, sets *PASSEDKNOWN when the walk passes it.
LibPin** WalkLibPins(LibPin** link, const LibPin* pin, const LibPin* known, bool* passedknown, int32_t* passed) {
    while (*link != nullptr && ComparePins(*link, pin) <= 0) {
        if (*link == known) *passedknown = true;
        link = &(*link)->next;
        ++*passed;
    }
    return link;
}

// The walk of InsertNetPin from LINK (the list's head link): the link before
// the first entry not less than PIN, whose entry decides a duplicate.
// *PASSED counts the entries passed.
NetPin** WalkNetPins(NetPin** link, const LibPin* pin, int32_t* passed) {
    if (!IsNumeric(pin)) {
        while (*link != nullptr && std::strcmp((*link)->libpin->number, pin->number) < 0) {
            link = &(*link)->nextonpart;
            ++*passed;
        }
    } else {
        // Text pins (-1) are always passed; 1 and 01 are the same pin.
        while (*link != nullptr && (*link)->libpin->numbervalue < pin->numbervalue) {
            link = &(*link)->nextonpart;
            ++*passed;
        }
    }
    return link;
}

// ---- Pin lists ------------------------------------------------------------------

PinList* FindList(const void* owner) {
    if (PinLists.listcount == 0) return nullptr;
    uint32_t mask = PinLists.listcapacity - 1;
    for (uint32_t i = HashPointer(owner) & mask;; i = (i + 1) & mask) {
        const ListSlot& slot = PinLists.lists[i];
        if (slot.owner == owner) return slot.list;
        if (slot.owner == nullptr) return nullptr;
    }
}

bool AddList(PinList* list) {
    uint32_t capacity = SlotsFor(PinLists.listcount + 1, 1, 2);
    if (capacity > PinLists.listcapacity) {
        ListSlot* grown = static_cast<ListSlot*>(AllocateZeroed(capacity, sizeof(ListSlot)));
        if (grown == nullptr) return false;
        for (uint32_t i = 0; i < PinLists.listcapacity; i++) {
            const ListSlot& slot = PinLists.lists[i];
            if (slot.owner == nullptr) continue;
            uint32_t at = HashPointer(slot.owner) & (capacity - 1);
            while (grown[at].owner != nullptr) at = (at + 1) & (capacity - 1);
            grown[at] = slot;
        }
        ReleaseMemory(PinLists.lists);
        PinLists.lists = grown;
        PinLists.listcapacity = capacity;
    }
    uint32_t at = HashPointer(list->owner) & (PinLists.listcapacity - 1);
    while (PinLists.lists[at].owner != nullptr) at = (at + 1) & (PinLists.listcapacity - 1);
    PinLists.lists[at] = ListSlot{list->owner, list};
    PinLists.listcount++;
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
    if (!IndexesOn()) return nullptr;
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
        // Entries past the count are never read.
        list->sorted = static_cast<SortedEntry*>(AllocateMemory(sizeof(SortedEntry) * static_cast<std::size_t>(capacity)));
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

int32_t PinNumberValue(const char* number) {
    if (number[0] == '\0') return -1;
    int32_t value = 0;
    for (const char* c = number; *c != '\0'; c++) {
        if (*c < '0' || *c > '9') return -1;
        int digit = *c - '0';
        // A number no int32 can hold is treated as a text pin.
        if (value > (INT32_MAX - digit) / 10) return -1;
        value = value * 10 + digit;
    }
    return value;
}

LibPin* FindLibPin(ComponentDef* component, const char* number) {
    LibPin* byvalue = nullptr;
    if (FindPinByValue(component, number, &byvalue)) return byvalue;
    if (PinList* list = LiveList(component, component->libpins))
        return list->texts != nullptr ? TextSlotFor(*list, number, PrefixKey(number))->pin
                                      : FindSortedPin(*list, number);
    int32_t passed = 0;
    LibPin* found = component->libpins;
    // Most pins differ in their first byte, which spares the call.
    while (found != nullptr && (found->number[0] != number[0] || std::strcmp(found->number, number) != 0)) {
        found = found->next;
        passed++;
    }
    if (passed >= IndexThreshold()) IndexList(component, component->libpins, true);
    return found;
}

namespace {

// PART's slots when they hold a place for PIN, else null.
PinSlots* SlotsFor(const PartInstance* part, const LibPin* pin) {
    PinSlots* slots = part->pinslots;
    if (slots == nullptr || slots->component != pin->component || pin->rank < 0 || pin->rank >= slots->count)
        return nullptr;
    return slots;
}

}  // namespace

void PrefetchPinSlot(const PartInstance* part, const LibPin* pin) {
    if (PinSlots* slots = SlotsFor(part, pin)) {
        PrefetchMemory(&SlotEntries(slots)[pin->rank]);
        PrefetchMemory(&SlotsTaken(slots)[pin->rank / SlotWordBits]);
    }
}

void PrefetchSlotNeighbour(const PartInstance* part, const LibPin* pin) {
    PinSlots* slots = SlotsFor(part, pin);
    if (slots == nullptr) return;
    if (const NetPin* below = SlotBelow(slots, pin->rank)) PrefetchMemory(below);
}

void InsertLibPin(ComponentDef* component, LibPin* pin) {
    // A ranking stops holding here (point 5).
    if (component->pinkeys != 0) component->pinkeys = -1;
    PinList* list = LiveList(component, component->libpins);
    if (list == nullptr) {
        int32_t passed = 0;
        LibPin** link = WalkLibPins(&component->libpins, pin, nullptr, nullptr, &passed);
        pin->next = *link;
        *link = pin;
        if (passed >= IndexThreshold()) IndexList(component, component->libpins, true);
        return;
    }
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
        int32_t passed = 0;
        link = WalkLibPins(&component->libpins, pin, known, &passedknown, &passed);
    }
    pin->next = *link;
    *link = pin;
    if (pin->next == nullptr) list->tail = pin;
    list->head = component->libpins;
    // The pin is in its place; an index that cannot keep up is dropped.
    if (onekind) {
        if (!ReserveSorted(*list)) {
            Drop(*list);
            return;
        }
        InsertSorted(*list, at, key, pin);
        NoteEntry(*list, pin);
    } else if (wasonekind) {
        // Just mixed: from now on its pins are found by text.
        ForgetSorted(*list);
        NoteEntry(*list, pin);
        if (!IndexTexts(*list)) Drop(*list);
    } else {
        NoteEntry(*list, pin);
        if (known == nullptr) {
            if (!ReserveTexts(*list)) {
                Drop(*list);
                return;
            }
            *TextSlotFor(*list, pin->number, textkey) = TextSlot{textkey, pin};
            list->textcount++;
        } else if (!passedknown) {
            TextSlotFor(*list, pin->number, textkey)->pin = pin;
        }
    }
}

int InsertNetPin(PartInstance* part, NetPin* connection) {
    int accepted = 0;
    if (InsertBySlot(part, connection, &accepted)) return accepted;
    const LibPin* pin = connection->libpin;
    PinList* list = LiveList(part, part->netpins);
    if (list == nullptr) {
        int32_t passed = 0;
        NetPin** link = WalkNetPins(&part->netpins, pin, &passed);
        if (*link != nullptr && SamePartPin((*link)->libpin, pin)) return 0;
        connection->nextonpart = *link;
        *link = connection;
        if (passed >= IndexThreshold()) IndexList(part, part->netpins, false);
        return 1;
    }
    bool onekind = StaysOfOneKind(*list, pin);
    uint64_t key = onekind ? SortKey(pin) : 0;
    int32_t at = list->count;
    NetPin** link;
    if (list->count == 0 || NetPinAppends(*list, pin)) {
        link = list->tail != nullptr ? &static_cast<NetPin*>(list->tail)->nextonpart : &part->netpins;
    } else if (onekind) {
        at = Bound(*list, key, pin, false);
        if (at < list->count && CompareSorted(*list, at, key, pin) == 0) return 0;
        link = at > 0 ? &static_cast<NetPin*>(list->sorted[at - 1].entry)->nextonpart : &part->netpins;
    } else {
        int32_t passed = 0;
        link = WalkNetPins(&part->netpins, pin, &passed);
        if (*link != nullptr && SamePartPin((*link)->libpin, pin)) return 0;
    }
    connection->nextonpart = *link;
    *link = connection;
    if (connection->nextonpart == nullptr) list->tail = connection;
    list->head = part->netpins;
    // The connection is in its place; an index that cannot keep up is dropped.
    if (onekind) {
        if (!ReserveSorted(*list)) {
            Drop(*list);
            return 1;
        }
        InsertSorted(*list, at, key, connection);
    } else {
        ForgetSorted(*list);
    }
    NoteEntry(*list, pin);
    return 1;
}

void ReleasePinLists() {
    for (uint32_t i = 0; i < PinLists.listcapacity; i++) {
        PinList* list = PinLists.lists[i].list;
        if (list == nullptr) continue;
        Drop(*list);
        ReleaseMemory(list);
    }
    ReleaseMemory(PinLists.lists);
    PinLists = PinListState{};
}
