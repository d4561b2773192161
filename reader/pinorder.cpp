// Pin order. The walks define it: InsertLibPin walks the component's pins
// from the head and inserts the new pin before the first entry that
// compares greater (numbers when both pins are numeric, else their texts;
// equal pins are passed, so a later one goes after an earlier one);
// InsertNetPin walks the part's connections from the head, passes every
// entry less than the new pin (a numeric pin compares values, and text
// entries never stop it; a text pin compares texts) and refuses the pin as
// a duplicate when the entry it stops at is equal; FindLibPin gives the
// first pin of a number text in list order.
//
// Beside a component's list of more than a few pins this module keeps an
// array of them in list order, each with its key: the pin's value, or the first eight bytes
// of its number text. While every entry and the new pin are numeric, or
// every one is a text pin, the comparisons are a total order and every
// walk inserts into a sorted list at its bound, so the list stays sorted
// and a binary search of the array finds the walk's place: the upper bound
// for InsertLibPin, which passes equal pins, and the lower bound for
// InsertNetPin, whose stop entry decides the duplicate. In a list of one
// kind equal pins stand together in the order they came, so the first of
// an equal run is the first in the list, which FindLibPin wants. Lists that
// mix the kinds compare numbers with numbers but texts with texts, which is
// no order at all: there the walk itself runs.
//
// A component of one kind is settled at the first connection after its
// list changed: numbers whose values are dense get a table of the first
// entry of each value, and each pin gets a rank, the place of the first
// entry of its key. For two connections of such a component InsertNetPin
// compares exactly their ranks. So a part keeps a slot per rank where that
// costs no more than a few times its own connections: a taken slot is the
// duplicate the walk would stop at, the nearest taken slot below holds the
// entry the walk would pass last, the nearest above the one that follows.
// Slots follow one state of the component's list; once it changes they are
// made again from the part's list. A part that slots would cost too much
// keeps an array of its connections instead, searched as the component's
// is, and a part of a few connections only its list, walked.
//
// Every array, table and slot block comes from the platform heap. One that
// cannot be had, or grown, is dropped, and the walk serves its list until
// memory allows it to be made again from the list, which is always whole.
#include "reader/pinorder.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/hashtable.h"

namespace {

// A list is walked while it is shorter than this (and, for a part, slots
// would cost too much): a few records cost less than an array's block.
constexpr int32_t ArrayFrom = 4;
// Slots for a part cost at most this many per connection it has; a part
// never takes more than SlotLimit of them, as the search for the nearest
// taken slot reads up to that many bits.
constexpr int32_t SlotsPerConnection = 16;
constexpr int32_t SlotLimit = 4096;
constexpr int32_t SlotWordBits = 32;
constexpr int32_t FirstCapacity = 8;
// The table of values is kept while the greatest value stays below this
// many times the count of pins, plus a few.
constexpr int32_t ValueTableSpread = 4;
constexpr int32_t ValueTableSlack = 16;

struct PinEntry {
    uint64_t key;  // numbervalue, or PrefixKey of the number text
    void* item;    // the LibPin or NetPin
};

struct PinArray {
    PinEntry* entries;
    int32_t count;
    int32_t capacity;
    int32_t numeric;  // entries whose pin has a numbervalue
};

}  // namespace

struct ComponentPins {
    PinArray pins;
    int32_t* byvalue;    // while settled: index of the first entry of each value below valuelimit, or -1
    int32_t valuelimit;  // 0: no table
    int32_t changes;     // how often the list changed; slots follow one such state
    bool settled;        // the table and the ranks stand for the list as it is
};

// A part's connections beside its list: an array (slots < 0), or slots,
// which follow this header in its block: a NetPin* per rank, then a bit per
// rank for the taken ones.
struct PartPins {
    int32_t slots;    // ranks; -1: an array
    int32_t changes;  // the component's changes the slots follow
    PinArray array;   // while an array
};

namespace {
bool IsNumeric(const LibPin* pin) { return pin->numbervalue != -1; }

// Whether two pin numbers are the same text. Pin numbers are mostly a few
// characters: those are compared here, without a call, as every lookup
// ends in such a comparison; the rest of a long one by the library's
// comparison, which takes many bytes at a step.
bool SameNumber(const char* a, const char* b) {
    for (int i = 0; i < 8; i++) {
        if (a[i] != b[i]) return false;
        if (a[i] == '\0') return true;
    }
    return std::strcmp(a + 8, b + 8) == 0;
}

uint64_t KeyOf(const LibPin* pin) {
    return IsNumeric(pin) ? static_cast<uint64_t>(pin->numbervalue) : PrefixKey(pin->number);
}

// What the walks read of an entry: its pin and its link on the list.
const LibPin* PinOf(const LibPin* entry) { return entry; }
const LibPin* PinOf(const NetPin* entry) { return entry->libpin; }
LibPin*& NextOf(LibPin* entry) { return entry->next; }
NetPin*& NextOf(NetPin* entry) { return entry->nextonpart; }

int ComparePins(const LibPin* a, const LibPin* b) {
    if (IsNumeric(a) && IsNumeric(b))
        return a->numbervalue < b->numbervalue ? -1 : (a->numbervalue > b->numbervalue ? 1 : 0);
    return std::strcmp(a->number, b->number);
}

// The walk of InsertLibPin from LINK (the list's head link): the link
// before the first entry greater than PIN; *PASSED counts the entries
// passed.
LibPin** WalkLibPins(LibPin** link, const LibPin* pin, int32_t* passed) {
    while (*link != nullptr && ComparePins(*link, pin) <= 0) {
        link = &(*link)->next;
        ++*passed;
    }
    return link;
}

// The walk of InsertNetPin from LINK: the link before the first entry not
// less than PIN, whose entry decides a duplicate.
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

bool SamePartPin(const LibPin* entry, const LibPin* pin) {
    return IsNumeric(pin) ? entry->numbervalue == pin->numbervalue : std::strcmp(entry->number, pin->number) == 0;
}

// Whether the array stays of one kind with PIN in it.
bool StaysOfOneKind(const PinArray& array, const LibPin* pin) {
    return IsNumeric(pin) ? array.numeric == array.count : array.numeric == 0;
}

// Entry AT against PIN (KEY its key), in an array of PIN's one kind.
template <typename Entry>
int CompareEntry(const PinArray& array, int32_t at, uint64_t key, const LibPin* pin) {
    uint64_t entry = array.entries[at].key;
    if (entry != key) return entry < key ? -1 : 1;
    if (IsNumeric(pin) || KeyHoldsWholeText(key)) return 0;
    return std::strcmp(PinOf(static_cast<const Entry*>(array.entries[at].item))->number + 8, pin->number + 8);
}

// The first entry greater than PIN (UPPER) or not less than it.
template <typename Entry>
int32_t Bound(const PinArray& array, uint64_t key, const LibPin* pin, bool upper) {
    int32_t low = 0;
    int32_t high = array.count;
    // Pins mostly come in order: the end is tried first.
    if (high > 0) {
        int order = CompareEntry<Entry>(array, high - 1, key, pin);
        if (order < 0 || (upper && order == 0)) return high;
    }
    while (low < high) {
        int32_t middle = low + (high - low) / 2;
        int order = CompareEntry<Entry>(array, middle, key, pin);
        if (order < 0 || (upper && order == 0))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void ReleaseArray(PinArray& array) {
    ReleaseMemory(array.entries);
    array = PinArray{};
}

// Room for one more entry; false without memory.
bool Reserve(PinArray& array) {
    if (array.count < array.capacity) return true;
    if (array.capacity > INT32_MAX / 2) return false;
    int32_t capacity = array.capacity < FirstCapacity ? FirstCapacity : array.capacity + array.capacity / 2;
    void* grown = ResizeMemory(array.entries, sizeof(PinEntry) * static_cast<std::size_t>(capacity));
    if (grown == nullptr) return false;
    array.entries = static_cast<PinEntry*>(grown);
    array.capacity = capacity;
    return true;
}

void InsertEntry(PinArray& array, int32_t at, const LibPin* pin, void* item) {
    std::memmove(array.entries + at + 1, array.entries + at,
                 sizeof(PinEntry) * static_cast<std::size_t>(array.count - at));
    array.entries[at] = PinEntry{KeyOf(pin), item};
    array.count++;
    if (IsNumeric(pin)) array.numeric++;
}

// Fills ARRAY with the list from HEAD; false without memory, the array
// then released.
template <typename Entry>
bool FillArray(PinArray& array, Entry* head) {
    for (Entry* entry = head; entry != nullptr; entry = NextOf(entry)) {
        if (!Reserve(array)) {
            ReleaseArray(array);
            return false;
        }
        InsertEntry(array, array.count, PinOf(entry), entry);
    }
    return true;
}

// The length of the list at HEAD, counted up to MOST.
template <typename Entry>
int32_t LengthUpTo(Entry* head, int32_t most) {
    int32_t length = 0;
    for (; head != nullptr && length < most; head = NextOf(head)) length++;
    return length;
}

// Where the walk puts PIN into the list at HEAD, with the array's place for
// it in *AT; UPPER for InsertLibPin's walk. ARRAY may be null.
template <typename Entry, typename Walk>
Entry** PlaceOf(Entry** head, const PinArray* array, const LibPin* pin, bool upper, int32_t* at, Walk walk) {
    if (array == nullptr || !StaysOfOneKind(*array, pin)) {
        *at = 0;
        return walk(head, pin, at);
    }
    *at = Bound<Entry>(*array, KeyOf(pin), pin, upper);
    return *at > 0 ? &NextOf(static_cast<Entry*>(array->entries[*at - 1].item)) : head;
}

// ---- Components ---------------------------------------------------------------

bool OfOneKind(const PinArray& array) { return array.numeric == 0 || array.numeric == array.count; }

// The index of the first entry comparing equal to PIN (KEY its key) in a
// component's array that PIN's kind matches, or -1.
int32_t FirstIndexOf(const ComponentPins& order, const LibPin* pin, uint64_t key) {
    if (order.settled && IsNumeric(pin) && pin->numbervalue < order.valuelimit) return order.byvalue[pin->numbervalue];
    int32_t at = Bound<LibPin>(order.pins, key, pin, false);
    return at < order.pins.count && CompareEntry<LibPin>(order.pins, at, key, pin) == 0 ? at : -1;
}

// A pin's rank: the place of the first entry of its key.
int32_t RankOf(const ComponentPins& order, const LibPin* pin) {
    if (!StaysOfOneKind(order.pins, pin)) return -1;
    return FirstIndexOf(order, pin, KeyOf(pin));
}

// Makes the table of values of a settled component of numbers, when they
// are dense; without memory, or for other lists, the search answers.
void Settle(ComponentPins& order) {
    if (order.settled) return;
    order.settled = true;
    order.valuelimit = 0;
    const PinArray& pins = order.pins;
    if (pins.count == 0 || pins.numeric != pins.count) return;
    // Sorted by value: the last entry holds the greatest.
    uint64_t greatest = pins.entries[pins.count - 1].key;
    if (greatest >= static_cast<uint64_t>(ValueTableSpread) * static_cast<uint64_t>(pins.count) + ValueTableSlack) return;
    int32_t limit = static_cast<int32_t>(greatest) + 1;
    void* table = ResizeMemory(order.byvalue, sizeof(int32_t) * static_cast<std::size_t>(limit));
    if (table == nullptr) return;
    order.byvalue = static_cast<int32_t*>(table);
    for (int32_t value = 0; value < limit; value++) order.byvalue[value] = -1;
    for (int32_t at = pins.count - 1; at >= 0; at--) order.byvalue[pins.entries[at].key] = at;
    order.valuelimit = limit;
}

// The component's array, made from its list once that is long; null while
// it is short or when it cannot be had.
ComponentPins* PinsOf(ComponentDef* component) {
    if (component->pinorder != nullptr) return component->pinorder;
    if (LengthUpTo(component->libpins, ArrayFrom) < ArrayFrom) return nullptr;
    ComponentPins* order = static_cast<ComponentPins*>(AllocateMemory(sizeof(ComponentPins)));
    if (order == nullptr) return nullptr;
    *order = ComponentPins{};
    if (!FillArray(order->pins, component->libpins)) {
        ReleaseMemory(order);
        return nullptr;
    }
    component->pinorder = order;
    return order;
}

LibPin* ScanLibPins(LibPin* pin, const char* number) {
    while (pin != nullptr && !SameNumber(pin->number, number)) pin = pin->next;
    return pin;
}

// ---- Parts ----------------------------------------------------------------------

NetPin** SlotEntries(PartPins* pins) { return reinterpret_cast<NetPin**>(pins + 1); }
uint32_t* SlotsTaken(PartPins* pins) { return reinterpret_cast<uint32_t*>(SlotEntries(pins) + pins->slots); }
int32_t SlotWords(int32_t slots) { return (slots + SlotWordBits - 1) / SlotWordBits; }

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
NetPin* SlotBelow(PartPins* pins, int32_t rank) {
    const uint32_t* taken = SlotsTaken(pins);
    int32_t at = rank / SlotWordBits;
    uint32_t below = taken[at] & ((uint32_t{1} << (rank % SlotWordBits)) - 1);
    while (below == 0 && at > 0) below = taken[--at];
    return below != 0 ? SlotEntries(pins)[at * SlotWordBits + HighestBit(below)] : nullptr;
}

// The entry of the nearest slot taken above RANK, or null.
NetPin* SlotAbove(PartPins* pins, int32_t rank) {
    const uint32_t* taken = SlotsTaken(pins);
    int32_t at = rank / SlotWordBits;
    uint32_t bit = uint32_t{1} << (rank % SlotWordBits);
    uint32_t above = taken[at] & ~(bit | (bit - 1));
    int32_t words = SlotWords(pins->slots);
    while (above == 0 && at + 1 < words) above = taken[++at];
    return above != 0 ? SlotEntries(pins)[at * SlotWordBits + LowestBit(above)] : nullptr;
}

bool SlotTaken(PartPins* pins, int32_t rank) {
    return (SlotsTaken(pins)[rank / SlotWordBits] >> (rank % SlotWordBits) & 1) != 0;
}

void TakeSlot(PartPins* pins, int32_t rank, NetPin* connection) {
    SlotEntries(pins)[rank] = connection;
    SlotsTaken(pins)[rank / SlotWordBits] |= uint32_t{1} << (rank % SlotWordBits);
}

// The settled pins of PART's component, or null.
ComponentPins* ComponentPinsOf(const PartInstance* part) {
    if (part->component < 0 || part->component >= Design.componentcount) return nullptr;
    ComponentPins* order = Design.components[part->component]->pinorder;
    if (order != nullptr) Settle(*order);
    return order;
}

// Whether slots for ORDER's ranks cost no more than their share for a part
// of CONNECTIONS.
bool SlotsPay(const ComponentPins* order, int32_t connections) {
    return order != nullptr && order->settled && OfOneKind(order->pins) && order->pins.count <= SlotLimit &&
           order->pins.count <= SlotsPerConnection * connections;
}

// The rank of a connection whose key is KEY.
int32_t RankOfEntry(const ComponentPins& order, const PinEntry& entry) {
    if (order.pins.count == 0 || order.pins.numeric != order.pins.count)
        return RankOf(order, static_cast<const NetPin*>(entry.item)->libpin);
    // Numbers need no look at the connection: the key is the value.
    LibPin probe = {};
    probe.numbervalue = static_cast<int32_t>(entry.key);
    return FirstIndexOf(order, &probe, entry.key);
}

// Slots for the part's connections: those of FROM when it is an array,
// else those of its list. Null without memory, or for a connection of no
// rank.
PartPins* MakeSlots(PartInstance* part, const ComponentPins& order, const PartPins* from) {
    int32_t ranks = order.pins.count;
    std::size_t size = sizeof(PartPins) + sizeof(NetPin*) * static_cast<std::size_t>(ranks) +
                       sizeof(uint32_t) * static_cast<std::size_t>(SlotWords(ranks));
    PartPins* pins = static_cast<PartPins*>(AllocateMemory(size));
    if (pins == nullptr) return nullptr;
    *pins = PartPins{ranks, order.changes, PinArray{}};
    // An entry is read only where its bit is set: only the bits start zeroed.
    std::memset(SlotsTaken(pins), 0, sizeof(uint32_t) * static_cast<std::size_t>(SlotWords(ranks)));
    auto take = [pins](int32_t rank, NetPin* connection) {
        if (rank < 0) return false;
        TakeSlot(pins, rank, connection);
        return true;
    };
    bool whole = true;
    // An array holds the list's connections with their keys beside them.
    if (from != nullptr && from->slots < 0) {
        for (int32_t at = 0; at < from->array.count && whole; at++)
            whole = take(RankOfEntry(order, from->array.entries[at]), static_cast<NetPin*>(from->array.entries[at].item));
    } else {
        for (NetPin* connection = part->netpins; connection != nullptr && whole; connection = connection->nextonpart)
            whole = take(RankOf(order, connection->libpin), connection);
    }
    if (whole) return pins;
    ReleaseMemory(pins);
    return nullptr;
}

PartPins* MakeArray(PartInstance* part) {
    PartPins* pins = static_cast<PartPins*>(AllocateMemory(sizeof(PartPins)));
    if (pins == nullptr) return nullptr;
    *pins = PartPins{-1, 0, PinArray{}};
    if (!FillArray(pins->array, part->netpins)) {
        ReleaseMemory(pins);
        return nullptr;
    }
    return pins;
}

// What PART keeps beside its list for one more connection, made anew from
// the list when what it has no longer serves or slots now pay; null when
// the list alone serves.
PartPins* PartPinsFor(PartInstance* part, const ComponentPins* order) {
    PartPins* pins = part->pinorder;
    int32_t connections = 0;
    if (pins == nullptr) {
        connections = LengthUpTo(part->netpins, ArrayFrom);
        if (connections < ArrayFrom && !SlotsPay(order, connections + 1)) return nullptr;
    } else if (pins->slots >= 0) {
        if (order != nullptr && pins->changes == order->changes && order->settled) return pins;
        for (const NetPin* entry = part->netpins; entry != nullptr; entry = entry->nextonpart) connections++;
    } else {
        connections = pins->array.count;
        if (!SlotsPay(order, connections + 1)) return pins;
    }
    PartPins* made = SlotsPay(order, connections + 1) ? MakeSlots(part, *order, pins) : nullptr;
    // An array serves on when slots cannot be had.
    if (made == nullptr && pins != nullptr && pins->slots < 0) return pins;
    if (made == nullptr && connections >= ArrayFrom) made = MakeArray(part);
    ReleasePinOrder(part);
    part->pinorder = made;
    return made;
}

// Puts CONNECTION into PART's list by the slot of RANK; 0 when it is taken.
int InsertBySlot(PartInstance* part, PartPins* pins, NetPin* connection, int32_t rank) {
    if (SlotTaken(pins, rank)) return 0;
    // The neighbours come from the slots: the entry below is only written,
    // so its record, which may be anywhere, is never waited for.
    NetPin* below = SlotBelow(pins, rank);
    connection->nextonpart = SlotAbove(pins, rank);
    if (below != nullptr)
        below->nextonpart = connection;
    else
        part->netpins = connection;
    TakeSlot(pins, rank, connection);
    return 1;
}

}  // namespace

LibPin* FindLibPin(const ComponentDef* component, const char* number) {
    const ComponentPins* order = component->pinorder;
    if (order == nullptr || !OfOneKind(order->pins)) return ScanLibPins(component->libpins, number);
    LibPin probe = {};
    probe.number = number;
    probe.numbervalue = PinNumberValue(number);
    uint64_t key = KeyOf(&probe);
    const PinArray& pins = order->pins;
    // A text is in no list of numbers, a number in no list of texts.
    if (!StaysOfOneKind(pins, &probe)) return nullptr;
    int32_t at = FirstIndexOf(*order, &probe, key);
    for (; at >= 0 && at < pins.count && pins.entries[at].key == key; at++) {
        LibPin* pin = static_cast<LibPin*>(pins.entries[at].item);
        if (SameNumber(pin->number, number)) return pin;
    }
    return nullptr;
}

namespace {

// The first stage of a hint: its part's component, and what the part keeps
// beside its list or, for a short list, its first entry.
void StartHint(PinHint& hint) {
    const PartInstance* part = hint.part;
    bool known = part->component >= 0 && part->component < Design.componentcount;
    hint.at = known ? Design.components[part->component] : nullptr;
    if (hint.at != nullptr) PrefetchMemory(hint.at);
    const void* kept = part->pinorder != nullptr ? static_cast<const void*>(part->pinorder) : part->netpins;
    if (kept != nullptr) PrefetchMemory(kept);
}

// The slots of a hint's part, where they follow its component's list as
// it stands and hold the hint's rank; else null.
PartPins* SlotsOfHint(const PinHint& hint) {
    PartPins* pins = hint.part->pinorder;
    const ComponentPins* order = Design.components[hint.part->component]->pinorder;
    return pins != nullptr && pins->slots > hint.rank && pins->changes == order->changes ? pins : nullptr;
}

// A hint's rank while it follows a component's short list pin by pin.
constexpr int32_t Listed = -2;
const void* NextListed(const PinHint& hint) { return static_cast<const LibPin*>(hint.at)->next; }

}  // namespace

void PrefetchConnections(PinHint* hints, int count) {
    // A stage leaves in each hint what it asked the cache for; the next
    // stage reads it.
    auto stage = [hints, count](auto step) {
        for (int i = 0; i < count; i++) {
            if (hints[i].at == nullptr) continue;
            hints[i].at = step(hints[i]);
            if (hints[i].at != nullptr) PrefetchMemory(hints[i].at);
        }
    };
    for (int i = 0; i < count; i++) StartHint(hints[i]);
    // A component of a few pins has no array: its list is asked for pin by
    // pin, as the scan will read it.
    stage([](PinHint& hint) -> const void* {
        const ComponentDef* component = static_cast<const ComponentDef*>(hint.at);
        hint.rank = component->pinorder == nullptr ? Listed : -1;
        return component->pinorder != nullptr ? static_cast<const void*>(component->pinorder) : component->libpins;
    });
    stage([](PinHint& hint) -> const void* {
        if (hint.rank == Listed) return NextListed(hint);
        const ComponentPins* pins = static_cast<const ComponentPins*>(hint.at);
        int32_t value = pins->settled ? PinNumberValue(hint.number) : -1;
        return value >= 0 && value < pins->valuelimit ? &pins->byvalue[value] : nullptr;
    });
    stage([](PinHint& hint) -> const void* {
        if (hint.rank == Listed) return NextListed(hint);
        hint.rank = *static_cast<const int32_t*>(hint.at);
        const ComponentPins* order = Design.components[hint.part->component]->pinorder;
        return hint.rank >= 0 ? &order->pins.entries[hint.rank] : nullptr;
    });
    stage([](PinHint& hint) -> const void* {
        if (hint.rank == Listed) return NextListed(hint);
        if (PartPins* pins = SlotsOfHint(hint)) {
            PrefetchMemory(&SlotEntries(pins)[hint.rank]);
            PrefetchMemory(&SlotsTaken(pins)[hint.rank / SlotWordBits]);
        }
        return static_cast<const PinEntry*>(hint.at)->item;
    });
    // The connection that the new one will follow, which it writes.
    stage([](PinHint& hint) -> const void* {
        if (hint.rank < 0) return nullptr;
        if (PartPins* pins = SlotsOfHint(hint)) return SlotBelow(pins, hint.rank);
        const PartPins* pins = hint.part->pinorder;
        const LibPin* pin = static_cast<const LibPin*>(hint.at);
        if (pins == nullptr || pins->slots >= 0 || !StaysOfOneKind(pins->array, pin)) return nullptr;
        int32_t at = Bound<NetPin>(pins->array, KeyOf(pin), pin, false);
        return at > 0 ? pins->array.entries[at - 1].item : nullptr;
    });
}

void InsertLibPin(ComponentDef* component, LibPin* pin) {
    ComponentPins* order = PinsOf(component);
    if (order != nullptr && !Reserve(order->pins)) {
        ReleasePinOrder(component);
        order = nullptr;
    }
    int32_t at = 0;
    LibPin** link = PlaceOf(&component->libpins, order != nullptr ? &order->pins : nullptr, pin, true, &at,
                            WalkLibPins);
    pin->next = *link;
    *link = pin;
    if (order == nullptr) return;
    InsertEntry(order->pins, at, pin, pin);
    order->changes++;
    order->settled = false;
}

int InsertNetPin(PartInstance* part, NetPin* connection) {
    const LibPin* pin = connection->libpin;
    const ComponentPins* order = ComponentPinsOf(part);
    PartPins* pins = PartPinsFor(part, order);
    if (pins != nullptr && pins->slots >= 0) {
        int32_t rank = RankOf(*order, pin);
        if (rank >= 0 && rank < pins->slots) return InsertBySlot(part, pins, connection, rank);
        // A pin of no rank here: only the walk can place it.
        ReleasePinOrder(part);
        pins = nullptr;
    }
    PinArray* array = pins != nullptr ? &pins->array : nullptr;
    if (array != nullptr && !Reserve(*array)) {
        ReleasePinOrder(part);
        array = nullptr;
    }
    int32_t at = 0;
    NetPin** link = PlaceOf(&part->netpins, array, pin, false, &at, WalkNetPins);
    if (*link != nullptr && SamePartPin((*link)->libpin, pin)) return 0;
    connection->nextonpart = *link;
    *link = connection;
    if (array != nullptr) InsertEntry(*array, at, pin, connection);
    return 1;
}

void ReleasePinOrder(ComponentDef* component) {
    ComponentPins* order = component->pinorder;
    if (order == nullptr) return;
    ReleaseArray(order->pins);
    ReleaseMemory(order->byvalue);
    ReleaseMemory(order);
    component->pinorder = nullptr;
}

void ReleasePinOrder(PartInstance* part) {
    PartPins* pins = part->pinorder;
    if (pins == nullptr) return;
    if (pins->slots < 0) ReleaseArray(pins->array);
    ReleaseMemory(pins);
    part->pinorder = nullptr;
}
