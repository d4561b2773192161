// The test model of reader/pinorder.h: pin order as the walks from the head
// of each list define it, with nothing kept beside the lists.
#include <climits>
#include <cstring>

#include "reader/design.h"
#include "reader/pinorder.h"

namespace {

bool IsNumeric(const LibPin* pin) { return pin->numbervalue != -1; }

// A component's pins: by value when both are numbers, else by text.
int ComparePins(const LibPin* a, const LibPin* b) {
    if (IsNumeric(a) && IsNumeric(b))
        return a->numbervalue < b->numbervalue ? -1 : (a->numbervalue > b->numbervalue ? 1 : 0);
    return std::strcmp(a->number, b->number);
}

// What a part's walk passes for PIN: a number passes smaller values and
// every text pin (-1); a text passes smaller number texts.
bool PassedFor(const LibPin* pin, const LibPin* entry) {
    return IsNumeric(pin) ? entry->numbervalue < pin->numbervalue : std::strcmp(entry->number, pin->number) < 0;
}

bool SamePartPin(const LibPin* pin, const LibPin* entry) {
    return IsNumeric(pin) ? entry->numbervalue == pin->numbervalue : std::strcmp(entry->number, pin->number) == 0;
}

}  // namespace

LibPin* FindLibPin(const ComponentDef* component, const char* number) {
    LibPin* pin = component->libpins;
    while (pin != nullptr && std::strcmp(pin->number, number) != 0) pin = pin->next;
    return pin;
}

void PrefetchConnections(PinHint*, int) {}

// Equal pins are passed: a later one goes after an earlier one.
void InsertLibPin(ComponentDef* component, LibPin* pin) {
    LibPin** link = &component->libpins;
    while (*link != nullptr && ComparePins(*link, pin) <= 0) link = &(*link)->next;
    pin->next = *link;
    *link = pin;
}

int InsertNetPin(PartInstance* part, NetPin* connection) {
    const LibPin* pin = connection->libpin;
    NetPin** link = &part->netpins;
    while (*link != nullptr && PassedFor(pin, (*link)->libpin)) link = &(*link)->nextonpart;
    if (*link != nullptr && SamePartPin(pin, (*link)->libpin)) return 0;
    connection->nextonpart = *link;
    *link = connection;
    return 1;
}

void ReleasePinOrder(ComponentDef*) {}
void ReleasePinOrder(PartInstance*) {}
