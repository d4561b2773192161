// The indexes behind the design tables against the plain algorithms: every
// lookup and every pin order must come out exactly as the linear scans and
// the walks from the head give them, on generated designs, on the golden
// designs, on random sequences of awkward pin numbers, and when an index
// cannot be allocated. IndexPlain runs the plain algorithms alone,
// IndexAlways indexes every table and list from its first entry, IndexLong
// (the load-time mode) indexes what grows long.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gen_design.h"
#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/index_testing.h"
#include "reader/pins.h"
#include "reader/tables.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr int Modes[] = {IndexPlain, IndexLong, IndexAlways};
// The modes that make indexes, each compared with the plain algorithms.
constexpr int IndexedModes[] = {IndexLong, IndexAlways};

class PerfEquivalence : public LibraryTest {
protected:
    void TearDown() override {
        SetIndexMode(IndexLong);
        LibraryTest::TearDown();
    }
};

struct Outcome {
    int result;
    Lines messages;
    std::string netlist;
};

bool operator==(const Outcome& a, const Outcome& b) {
    return a.result == b.result && a.messages == b.messages && a.netlist == b.netlist;
}

Outcome FormatIn(int mode, const std::string& text) {
    SetIndexMode(mode);
    TakeMessages();
    int result = FormatDesign(text);
    return {result, TakeMessages(), ReadBytes("design.asc")};
}

// Formats TEXT in every mode; each indexed mode must match the plain
// algorithms' run. Gives the plain run.
Outcome ExpectAlikeInEveryMode(const std::string& text, const std::string& what) {
    Outcome plain = FormatIn(IndexPlain, text);
    for (int mode : IndexedModes) {
        Outcome indexed = FormatIn(mode, text);
        EXPECT_EQ(indexed.result, plain.result) << what << ", mode " << mode;
        EXPECT_EQ(indexed.messages, plain.messages) << what << ", mode " << mode;
        EXPECT_TRUE(indexed.netlist == plain.netlist) << what << ", mode " << mode << ": netlists differ";
    }
    return plain;
}

struct GeneratedCase {
    const char* what;
    zedidgen::Parameters params;
};

zedidgen::Parameters Shape(zedidgen::Shape shape, int size = 1) {
    zedidgen::Parameters params;
    params.shape = shape;
    params.size = size;
    return params;
}

zedidgen::Parameters Custom(zedidgen::PinNames names, zedidgen::Order pins, zedidgen::Order connections, int pincount,
                            std::uint64_t seed) {
    zedidgen::Parameters params;
    params.shape = zedidgen::Shape::Custom;
    params.parts = 24;
    params.components = 5;
    params.pinspercomponent = pincount;
    params.connectionspernet = 5;
    params.pinnames = names;
    params.pinorder = pins;
    params.connectionorder = connections;
    params.seed = seed;
    return params;
}

std::string Generate(const zedidgen::Parameters& params) {
    std::string text;
    zedidgen::GenerateDesign(params, text);
    return text;
}

// Every shape of the benchmarks, and pin lists of every kind in every
// order: numbers, ball-grid names, and numbers mixed with texts, for which
// the walks are no order at all.
TEST_F(PerfEquivalence, GeneratedDesignsFormatAlikeInEveryMode) {
    using zedidgen::Order;
    using zedidgen::PinNames;
    zedidgen::Parameters bigshuffled = Shape(zedidgen::Shape::BigPart, 2);
    bigshuffled.connectionorder = Order::Shuffled;
    bigshuffled.pinorder = Order::Shuffled;
    zedidgen::Parameters bigdescending = Shape(zedidgen::Shape::BigPart, 2);
    bigdescending.connectionorder = Order::Descending;
    bigdescending.pinorder = Order::Descending;
    zedidgen::Parameters biggrid = Shape(zedidgen::Shape::BigPart, 2);
    biggrid.pinnames = PinNames::Grid;
    biggrid.connectionorder = Order::Shuffled;
    const GeneratedCase cases[] = {
        {"board", Shape(zedidgen::Shape::Board)},
        {"components", Shape(zedidgen::Shape::Components)},
        {"bigpart", Shape(zedidgen::Shape::BigPart, 2)},
        {"bigpart shuffled", bigshuffled},
        {"bigpart descending", bigdescending},
        {"bigpart grid", biggrid},
        {"bignet", Shape(zedidgen::Shape::BigNet)},
        {"twopinnets", Shape(zedidgen::Shape::TwoPinNets)},
        {"longnames", Shape(zedidgen::Shape::LongNames)},
        {"dense", Shape(zedidgen::Shape::Dense)},
        {"properties", Shape(zedidgen::Shape::Properties)},
        {"placements", Shape(zedidgen::Shape::Placements)},
        {"skipped", Shape(zedidgen::Shape::Skipped)},
        {"mixed, ascending", Custom(PinNames::Mixed, Order::Ascending, Order::Ascending, 60, 1)},
        {"mixed, descending", Custom(PinNames::Mixed, Order::Descending, Order::Descending, 60, 2)},
        {"mixed, shuffled", Custom(PinNames::Mixed, Order::Shuffled, Order::Shuffled, 60, 3)},
        {"mixed, shuffled pins in order", Custom(PinNames::Mixed, Order::Shuffled, Order::Ascending, 80, 4)},
        {"grid, shuffled", Custom(PinNames::Grid, Order::Shuffled, Order::Shuffled, 70, 5)},
        {"numeric, shuffled", Custom(PinNames::Numeric, Order::Shuffled, Order::Shuffled, 70, 6)},
    };
    for (const GeneratedCase& row : cases) {
        Outcome plain = ExpectAlikeInEveryMode(Generate(row.params), row.what);
        // A generated design is valid, so the whole netlist is compared.
        EXPECT_LE(plain.result, 1) << row.what;
        EXPECT_FALSE(plain.netlist.empty()) << row.what;
    }
}

// The golden designs are small: in the load-time mode they never reach an
// index. Here every one of them runs through the indexes from the start.
TEST_F(PerfEquivalence, GoldenDesignsFormatAlikeInEveryMode) {
    int designs = 0;
    for (const char* root : {ZEDID_TEST_DATA "/golden", ZEDID_EXAMPLES}) {
        std::error_code missing;
        for (fs::recursive_directory_iterator it(root, missing), end; !missing && it != end; it.increment(missing)) {
            if (it->path().extension() != ".ONL") continue;
            ExpectAlikeInEveryMode(ReadBytes(it->path().string()), it->path().string());
            designs++;
        }
    }
    EXPECT_GT(designs, 0);
}

// Faults found while connecting: a duplicate pin, the same numeric pin
// written two ways, a pin the component lacks, an unplaced reference. The
// first fault and its message must be the same in every mode.
TEST_F(PerfEquivalence, DesignFaultsAreFoundAlikeInEveryMode) {
    struct Row {
        const char* what;
        const char* connections;
        const char* message;
    };
    const Row rows[] = {
        {"duplicate pin", "U1-1 U1-2 U1-A1 U1-1", "[FMT0003] Duplicate pin U1 pin 1."},
        {"same value written twice", "U1-7 U1-007", "[FMT0003] Duplicate pin U1 pin 007."},
        {"duplicate text pin", "U1-B2 U1-A1 U1-B2", "[FMT0003] Duplicate pin U1 pin B2."},
        {"pin mismatch", "U1-1 U1-01", "[FMT0023] Lib/part pin mismatch U1 pin 01"},
        {"reference not placed", "U1-1 U9-1", "[FMT0024] Ref-des not found."},
    };
    std::string pins;
    for (int i = 1; i <= 40; i++) pins += " (pin x " + std::to_string(i) + ")";
    pins += " (pin x 007) (pin x A1) (pin x B2) (pin x A10)";
    for (const Row& row : rows) {
        std::string text = "(pcb (placement (component BIG (place U1)))\n"
                           " (library (image BIG" + pins + "))\n"
                           " (network (net N (pins " + std::string(row.connections) + "))))\n";
        Outcome plain = ExpectAlikeInEveryMode(text, row.what);
        EXPECT_EQ(plain.result, ZEDID_RESULT_ERRORS) << row.what;
        ASSERT_FALSE(plain.messages.empty()) << row.what;
        EXPECT_EQ(plain.messages[0].rfind(row.message, 0), 0u) << row.what << ": " << plain.messages[0];
    }
}

// ---- The table operations on random sequences ----------------------------------

// Pin numbers that make the orders hard: numbers and texts that sort
// differently, zero-led numbers equal in value, numbers past int32, texts
// that share their first eight bytes, the empty text.
const char* const AwkwardPins[] = {
    "1", "2", "3", "9", "10", "11", "01", "001", "0", "00", "2147483647", "2147483648", "99999999999",
    "A", "B", "a", "A1", "A10", "A2", "1A", "50A", "5A", "9B", "#1", "+5", "~", "",
    "PIN_LONG_NAME_1", "PIN_LONG_NAME_2", "PIN_LONG_NAME_10", "PIN_LONG", "PIN_LONG_", "PIN_LONGER",
};
constexpr int AwkwardCount = sizeof AwkwardPins / sizeof AwkwardPins[0];

// A fixed stream of pseudo-random numbers (the test's own, so the
// sequences are the same on every platform).
struct Stream {
    std::uint64_t state;
    int Below(int n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((state >> 33) % static_cast<std::uint64_t>(n));
    }
};

struct Sequence {
    std::vector<int> library;      // AwkwardPins index of each pin, in insertion order
    std::vector<int> connections;  // library position of each connection's pin
    std::vector<int> late = {};    // more pins, inserted after half the connections
};

// The awkward pins from FIRST on, COUNT of them: 0 and 11 numbers alone
// (values that fit 32 bits), 11 and 22 texts alone, 0 and AwkwardCount both.
Sequence MakeSequence(std::uint64_t seed, int first = 0, int count = AwkwardCount) {
    Stream random{seed};
    Sequence sequence;
    // Often few distinct numbers (many equal pins), sometimes many.
    int pool = 2 + random.Below(count - 1);
    int pins = 1 + random.Below(90);
    for (int i = 0; i < pins; i++) sequence.library.push_back(first + random.Below(pool));
    int connections = random.Below(120);
    for (int i = 0; i < connections; i++) sequence.connections.push_back(random.Below(pins));
    return sequence;
}

// What the tables made of a sequence, with pins and connections named by
// their insertion number.
struct TableOutcome {
    std::vector<int> libraryorder;
    std::vector<int> found;  // FindLibPin of every awkward number: insertion number or -1
    std::vector<int> accepted;
    std::vector<int> partorder;
    bool operator==(const TableOutcome& other) const {
        return libraryorder == other.libraryorder && found == other.found && accepted == other.accepted &&
               partorder == other.partorder;
    }
};

int NumberOf(const std::vector<LibPin*>& pins, const LibPin* pin) {
    auto at = std::find(pins.begin(), pins.end(), pin);
    return at == pins.end() ? -1 : static_cast<int>(at - pins.begin());
}

// A library pin of COMPONENT (at INDEX) numbered AwkwardPins[AWKWARD], put
// in its pin order.
LibPin* AddAwkwardPin(ComponentDef* component, int32_t index, int awkward) {
    LibPin* pin = static_cast<LibPin*>(CarveDesignMemory(sizeof(LibPin)));
    pin->number = CarveDesignText(AwkwardPins[awkward]);
    pin->component = index;
    pin->numbervalue = PinNumberValue(pin->number);
    pin->pinname = EmptyText;
    pin->lpinname = EmptyText;
    InsertLibPin(component, pin);
    return pin;
}

TableOutcome BuildTables(const Sequence& sequence, int mode) {
    SetIndexMode(mode);
    ReleaseRun();
    TableOutcome outcome;
    if (StartDesignTables() != 1) return outcome;
    int32_t index = -1;
    ComponentDef* component = AddComponentDef("C", &index);
    PartInstance* part = AddPartInstance("U1", index, nullptr);
    std::vector<LibPin*> pins;
    for (int awkward : sequence.library) {
        pins.push_back(AddAwkwardPin(component, index, awkward));
    }
    for (const LibPin* pin = component->libpins; pin != nullptr; pin = pin->next)
        outcome.libraryorder.push_back(NumberOf(pins, pin));
    for (const char* number : AwkwardPins) outcome.found.push_back(NumberOf(pins, FindLibPin(component, number)));
    std::vector<NetPin*> connections;
    for (std::size_t c = 0; c < sequence.connections.size(); c++) {
        if (c == sequence.connections.size() / 2) {
            for (int awkward : sequence.late) {
                pins.push_back(AddAwkwardPin(component, index, awkward));
            }
        }
        int position = sequence.connections[c];
        NetPin* connection = static_cast<NetPin*>(CarveDesignMemory(sizeof(NetPin)));
        connection->libpin = pins[static_cast<std::size_t>(position)];
        int accepted = InsertNetPin(part, connection);
        outcome.accepted.push_back(accepted);
        if (accepted) connections.push_back(connection);
    }
    for (const NetPin* connection = part->netpins; connection != nullptr; connection = connection->nextonpart) {
        auto at = std::find(connections.begin(), connections.end(), connection);
        outcome.partorder.push_back(static_cast<int>(at - connections.begin()));
    }
    return outcome;
}

TEST_F(PerfEquivalence, PinOrdersAndPinLookupsMatchTheWalks) {
    for (std::uint64_t seed = 1; seed <= 400; seed++) {
        Sequence sequence = MakeSequence(seed);
        TableOutcome plain = BuildTables(sequence, IndexPlain);
        ASSERT_EQ(plain.libraryorder.size(), sequence.library.size());
        for (int mode : {IndexLong, IndexAlways})
            EXPECT_TRUE(BuildTables(sequence, mode) == plain) << "seed " << seed << ", mode " << mode;
    }
}

// Components whose pins are all numbers or all texts give their parts'
// connections a slot by pin rank: equal values written apart (1, 01, 001),
// equal texts, connections in every order, and pins added to the component
// after connections were made (of the same kind, or of the other, which
// mixes the list), which ends the ranking.
TEST_F(PerfEquivalence, OneKindListsByRankMatchTheWalks) {
    struct Kind {
        const char* what;
        int first;
        int count;
    } kinds[] = {{"numbers", 0, 11}, {"texts", 11, 22}};
    for (const Kind& kind : kinds) {
        for (std::uint64_t seed = 1; seed <= 200; seed++) {
            Sequence sequence = MakeSequence(seed, kind.first, kind.count);
            // Every fourth sequence gets late pins: of its own kind, or
            // (every eighth) of the other.
            if (seed % 4 == 0) {
                Stream random{seed * 31};
                for (int i = 0; i < 3; i++)
                    sequence.late.push_back(seed % 8 == 0 ? (kind.first == 0 ? 13 + random.Below(10) : random.Below(11))
                                                          : kind.first + random.Below(kind.count));
            }
            TableOutcome plain = BuildTables(sequence, IndexPlain);
            for (int mode : {IndexLong, IndexAlways})
                EXPECT_TRUE(BuildTables(sequence, mode) == plain) << kind.what << ", seed " << seed << ", mode " << mode;
        }
    }
}

// The orders mix numbers and texts into no order at all. Pins 9, 10 and
// 50A stand as 50A 9 10; a second 10 then stops at 50A and goes first, so
// the first pin numbered 10 in list order is the later one. On a part, the
// connections 10, 1A and 9 stand as 9 10 1A; 5A goes first, and a second
// 1A, stopped by 5A, is taken as no duplicate.
TEST_F(PerfEquivalence, OrdersThatAreNoOrderAtAllFollowTheWalk) {
    enum { Nine = 3, Ten = 4, OneA = 19, FiftyA = 20, FiveA = 21 };  // in AwkwardPins
    struct Row {
        const char* what;
        std::vector<int> library;
        std::vector<int> connections;   // library insertion numbers
        std::vector<int> libraryorder;  // insertion numbers, in list order
        int foundten;                   // insertion number FindLibPin("10") gives
        std::vector<int> accepted;
        std::vector<int> partorder;     // accepted connections, in list order
    };
    const Row rows[] = {
        {"later equal pin first", {Nine, Ten, FiftyA, Ten}, {}, {3, 2, 0, 1}, 3, {}, {}},
        {"a duplicate the walk does not see", {Nine, Ten, OneA, FiveA}, {1, 2, 0, 3, 2}, {2, 3, 0, 1}, 1,
         {1, 1, 1, 1, 1}, {4, 3, 2, 0, 1}},
    };
    for (const Row& row : rows) {
        for (int mode : Modes) {
            TableOutcome outcome = BuildTables(Sequence{row.library, row.connections}, mode);
            EXPECT_EQ(outcome.libraryorder, row.libraryorder) << row.what << ", mode " << mode;
            EXPECT_EQ(outcome.found[Ten], row.foundten) << row.what << ", mode " << mode;
            EXPECT_EQ(outcome.accepted, row.accepted) << row.what << ", mode " << mode;
            EXPECT_EQ(outcome.partorder, row.partorder) << row.what << ", mode " << mode;
        }
    }
}

// Component names with repeats: the first in table order; part references
// in a sorted table, an unsorted one and one with a repeat: wherever the
// binary search lands.
TEST_F(PerfEquivalence, NameAndReferenceLookupsMatchTheScans) {
    auto lookups = [](int mode, bool sorted, bool repeat) {
        SetIndexMode(mode);
        ReleaseRun();
        StartDesignTables();
        std::vector<int32_t> found;
        for (int i = 0; i < 300; i++) {
            std::string name = "CMP_SERIES_" + std::to_string(i % 97);
            AddComponentDef(name.c_str(), nullptr);
            std::string reference = "R" + std::to_string((i * 37) % 300);
            if (repeat && i == 150) reference = "R1";
            AddPartInstance(reference.c_str(), 0, nullptr);
        }
        if (sorted)
            std::sort(Design.parts, Design.parts + Design.partcount, [](const PartInstance* a, const PartInstance* b) {
                return CompareReferences(a->reference, b->reference) < 0;
            });
        for (int i = 0; i < 320; i++) {
            std::string name = "CMP_SERIES_" + std::to_string(i % 110);
            int32_t index = -2;
            FindComponentDef(name.c_str(), &index);
            found.push_back(index);
            std::string reference = "R" + std::to_string(i);
            found.push_back(FindPart(reference.c_str()));
        }
        return found;
    };
    for (bool sorted : {true, false}) {
        for (bool repeat : {false, true}) {
            std::vector<int32_t> plain = lookups(IndexPlain, sorted, repeat);
            for (int mode : {IndexLong, IndexAlways})
                EXPECT_EQ(lookups(mode, sorted, repeat), plain) << "sorted " << sorted << ", repeat " << repeat;
        }
    }
}

// A list changed other than through the table operations is left to the
// plain walk from then on.
TEST_F(PerfEquivalence, AListChangedBehindTheIndexIsWalked) {
    auto changed = [](int mode) {
        Sequence sequence;
        for (int i = 0; i < 60; i++) sequence.library.push_back((i * 7) % 23);
        for (int i = 0; i < 50; i++) sequence.connections.push_back((i * 11) % 60);
        TableOutcome outcome = BuildTables(sequence, mode);
        ComponentDef* component = Design.components[0];
        PartInstance* part = Design.parts[0];
        // Each list's first entry moves to its end.
        LibPin* pin = component->libpins;
        component->libpins = pin->next;
        LibPin* lastpin = component->libpins;
        while (lastpin->next != nullptr) lastpin = lastpin->next;
        lastpin->next = pin;
        pin->next = nullptr;
        NetPin* connection = part->netpins;
        part->netpins = connection->nextonpart;
        NetPin* lastconnection = part->netpins;
        while (lastconnection->nextonpart != nullptr) lastconnection = lastconnection->nextonpart;
        lastconnection->nextonpart = connection;
        connection->nextonpart = nullptr;
        // What follows must see the lists as they now stand.
        std::vector<const void*> seen;
        for (int i = 0; i < AwkwardCount; i++) seen.push_back(FindLibPin(component, AwkwardPins[i]));
        for (const LibPin* extra = component->libpins; extra != nullptr; extra = extra->next) {
            NetPin* more = static_cast<NetPin*>(CarveDesignMemory(sizeof(NetPin)));
            more->libpin = const_cast<LibPin*>(extra);
            InsertNetPin(part, more);
        }
        for (const LibPin* entry = component->libpins; entry != nullptr; entry = entry->next) seen.push_back(entry);
        for (const NetPin* entry = part->netpins; entry != nullptr; entry = entry->nextonpart)
            seen.push_back(entry->libpin);
        // Records differ between runs: name them by their place in the
        // component's list.
        std::vector<int> named;
        for (const void* record : seen) {
            int number = 0;
            const LibPin* entry = component->libpins;
            while (entry != nullptr && entry != record) {
                entry = entry->next;
                number++;
            }
            named.push_back(entry == nullptr ? -1 : number);
        }
        return named;
    };
    std::vector<int> plain = changed(IndexPlain);
    for (int mode : {IndexLong, IndexAlways}) EXPECT_EQ(changed(mode), plain) << "mode " << mode;
}

// Every allocation of a run with indexes everywhere may fail: a failed
// index allocation must leave the run exactly as it was without it.
TEST_F(PerfEquivalence, EveryIndexAllocationMayFail) {
    zedidgen::Parameters params = Custom(zedidgen::PinNames::Mixed, zedidgen::Order::Shuffled,
                                         zedidgen::Order::Shuffled, 24, 9);
    params.parts = 4;
    params.components = 3;
    params.propertiesperpart = 1;
    std::string text = Generate(params);
    // Counts the runs that a failed allocation left as they were.
    auto sweep = [&text](int mode) {
        Outcome reference = FormatIn(mode, text);
        EXPECT_LE(reference.result, 1);
        long alike = 0;
        SweepAllocationFailures(
            [&](AllocationFailurePoint& point) {
                point.Arm();
                Outcome outcome = FormatIn(mode, text);
                bool hit = point.Disarm();
                if (hit && outcome.result == ZEDID_RESULT_ERRORS) {
                    bool numbered = std::any_of(outcome.messages.begin(), outcome.messages.end(),
                                                [](const std::string& m) { return m.rfind("[FMT", 0) == 0; });
                    EXPECT_TRUE(numbered) << "allocation " << point.Failing() << ", mode " << mode;
                } else {
                    EXPECT_TRUE(outcome == reference) << "allocation " << point.Failing() << ", mode " << mode;
                    if (hit) alike++;
                }
            },
            20000);
        return alike;
    };
    // The indexes' own allocations are among those that leave a run alike.
    EXPECT_GT(sweep(IndexAlways), sweep(IndexPlain));
}

}  // namespace
