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
// Beside a list this module keeps an array of its entries in list order,
// each with its key: the pin's value, or the first eight bytes of its
// number text. A component's list has one from its first pin, a part's
// once it is long enough for the walk to cost more than the array's block.
// While every entry and the new pin are numeric, or every one is a text
// pin, the comparisons are a total order and every walk inserts into a
// sorted list at its bound, so the list stays sorted and a binary search
// of the array finds the walk's place: the upper bound for InsertLibPin,
// which passes equal pins, and the lower bound for InsertNetPin, whose stop
// entry decides the duplicate. In a list of one kind equal pins stand
// together in the order they came, so the first of an equal run is the
// first in the list, which FindLibPin wants. Lists that mix the kinds
// compare numbers with numbers but texts with texts, which is no order at
// all: there the walk itself runs, and gives the array its place too.
//
// A component of numbers whose values are dense also keeps the first pin
// of each value in a table; the pins of one value follow it in the list.
//
// Every array and table comes from the platform heap. One that cannot be
// had, or grown, is dropped and the walk serves its list until memory
// allows the array to be made again from the list, which is always whole.
#include "reader/pinorder.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "platform/platform.h"
#include "reader/design.h"
#include "reader/hashtable.h"

namespace {

// A part's connections are walked while they are fewer than this: a few
// records cost less than an array's block.
constexpr int32_t PartArrayFrom = 4;
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
    LibPin** byvalue;    // first pin of each value below valuelimit; null: none
    int32_t valuelimit;
};

struct PartPins {
    PinArray connections;
};

namespace {

bool IsNumeric(const LibPin* pin) { return pin->numbervalue != -1; }

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

// Fills ARRAY with the list from HEAD; false without memory.
template <typename Entry>
bool FillArray(PinArray& array, Entry* head) {
    for (Entry* entry = head; entry != nullptr; entry = NextOf(entry)) {
        if (!Reserve(array)) return false;
        InsertEntry(array, array.count, PinOf(entry), entry);
    }
    return true;
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

// The first pin of VALUE in a component of numbers alone, by the array.
LibPin* FirstOfValue(const PinArray& array, int32_t value) {
    LibPin probe = {};
    probe.numbervalue = value;
    int32_t at = Bound<LibPin>(array, static_cast<uint64_t>(value), &probe, false);
    return at < array.count ? static_cast<LibPin*>(array.entries[at].item) : nullptr;
}

// Makes the table of values cover VALUE when the component's values are
// dense enough, filling what it did not cover; gives it up without memory.
void CoverValue(ComponentPins& order, int32_t value) {
    const PinArray& pins = order.pins;
    if (value < order.valuelimit || value >= ValueTableSpread * pins.count + ValueTableSlack) return;
    int32_t limit = value + 1 > 2 * order.valuelimit ? value + 1 : 2 * order.valuelimit;
    void* grown = ResizeMemory(order.byvalue, sizeof(LibPin*) * static_cast<std::size_t>(limit));
    if (grown == nullptr) {
        ReleaseMemory(order.byvalue);
        order.byvalue = nullptr;
        order.valuelimit = 0;
        return;
    }
    order.byvalue = static_cast<LibPin**>(grown);
    std::memset(order.byvalue + order.valuelimit, 0,
                sizeof(LibPin*) * static_cast<std::size_t>(limit - order.valuelimit));
    // The array is sorted by value; the first pin of a value comes first.
    LibPin* pin = FirstOfValue(pins, order.valuelimit);
    for (; pin != nullptr && pin->numbervalue < limit; pin = pin->next)
        if (order.byvalue[pin->numbervalue] == nullptr) order.byvalue[pin->numbervalue] = pin;
    order.valuelimit = limit;
}

void NoteValue(ComponentPins& order, const LibPin* pin) {
    if (order.pins.numeric != order.pins.count) {
        // Mixed for good: the table no longer answers.
        ReleaseMemory(order.byvalue);
        order.byvalue = nullptr;
        order.valuelimit = 0;
    } else if (pin->numbervalue < order.valuelimit) {
        // An earlier pin of the value stays first.
        if (order.byvalue[pin->numbervalue] == nullptr) order.byvalue[pin->numbervalue] = const_cast<LibPin*>(pin);
    } else {
        CoverValue(order, pin->numbervalue);
    }
}

// The component's array, made from its list when it has none; null when
// it cannot be had.
ComponentPins* PinsOf(ComponentDef* component) {
    if (component->pinorder != nullptr) return component->pinorder;
    ComponentPins* order = static_cast<ComponentPins*>(AllocateMemory(sizeof(ComponentPins)));
    if (order == nullptr) return nullptr;
    *order = ComponentPins{};
    if (!FillArray(order->pins, component->libpins)) {
        ReleaseArray(order->pins);
        ReleaseMemory(order);
        return nullptr;
    }
    component->pinorder = order;
    return order;
}

LibPin* ScanLibPins(LibPin* pin, const char* number) {
    // Most pins differ in their first byte, which spares the call.
    while (pin != nullptr && (pin->number[0] != number[0] || std::strcmp(pin->number, number) != 0)) pin = pin->next;
    return pin;
}

// ---- Parts ----------------------------------------------------------------------

// The part's array once its list is long, made from the list; null while
// it is short or when it cannot be had.
PinArray* ConnectionsOf(PartInstance* part) {
    if (part->pinorder != nullptr) return &part->pinorder->connections;
    int32_t length = 0;
    for (const NetPin* entry = part->netpins; entry != nullptr && length < PartArrayFrom; entry = entry->nextonpart)
        length++;
    if (length < PartArrayFrom) return nullptr;
    PartPins* order = static_cast<PartPins*>(AllocateMemory(sizeof(PartPins)));
    if (order == nullptr) return nullptr;
    *order = PartPins{};
    if (!FillArray(order->connections, part->netpins)) {
        ReleaseArray(order->connections);
        ReleaseMemory(order);
        return nullptr;
    }
    part->pinorder = order;
    return &order->connections;
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

LibPin* FindLibPin(const ComponentDef* component, const char* number) {
    const ComponentPins* order = component->pinorder;
    if (order == nullptr) return ScanLibPins(component->libpins, number);
    const PinArray& pins = order->pins;
    int32_t value = PinNumberValue(number);
    if (pins.numeric == pins.count) {
        // A text is in no list of numbers.
        if (value < 0) return nullptr;
        LibPin* pin = value < order->valuelimit ? order->byvalue[value] : FirstOfValue(pins, value);
        for (; pin != nullptr && pin->numbervalue == value; pin = pin->next)
            if (std::strcmp(pin->number, number) == 0) return pin;
        return nullptr;
    }
    if (pins.numeric != 0) return ScanLibPins(component->libpins, number);
    if (value >= 0) return nullptr;
    LibPin probe = {};
    probe.number = number;
    probe.numbervalue = -1;
    int32_t at = Bound<LibPin>(pins, PrefixKey(number), &probe, false);
    if (at >= pins.count) return nullptr;
    LibPin* pin = static_cast<LibPin*>(pins.entries[at].item);
    return std::strcmp(pin->number, number) == 0 ? pin : nullptr;
}

void PrefetchLibPin(const ComponentDef* component, const char* number) {
    const ComponentPins* order = component->pinorder;
    if (order == nullptr || order->valuelimit == 0) return;
    int32_t value = PinNumberValue(number);
    if (value >= 0 && value < order->valuelimit) PrefetchMemory(&order->byvalue[value]);
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
    NoteValue(*order, pin);
}

int InsertNetPin(PartInstance* part, NetPin* connection) {
    const LibPin* pin = connection->libpin;
    PinArray* array = ConnectionsOf(part);
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
    PartPins* order = part->pinorder;
    if (order == nullptr) return;
    ReleaseArray(order->connections);
    ReleaseMemory(order);
    part->pinorder = nullptr;
}
