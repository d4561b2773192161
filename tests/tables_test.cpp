// The design tables: growth, lookups, reference order and pin orders.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/run.h"
#include "platform/memory_testing.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/design_testing.h"
#include "reader/parts.h"
#include "reader/pinorder.h"
#include "reader/tables.h"
#include "support.h"

namespace {

class Tables : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(StartDesignTables(), 1);
    }
};

// A pin as the library parser makes it, carved with the design.
LibPin* MakePin(const char* number, int32_t component = 0) {
    LibPin* pin = static_cast<LibPin*>(CarveRecord(Arena::Design, sizeof(LibPin), Fill::Zeroed));
    pin->number = CarveText(Arena::Design, number);
    pin->component = component;
    pin->numbervalue = PinNumberValue(number);
    pin->pinname = EmptyText;
    pin->lpinname = EmptyText;
    return pin;
}

std::vector<std::string> PinOrder(const ComponentDef* component) {
    std::vector<std::string> numbers;
    for (const LibPin* pin = component->libpins; pin != nullptr; pin = pin->next) numbers.emplace_back(pin->number);
    return numbers;
}

std::vector<std::string> ConnectionOrder(const PartInstance* part) {
    std::vector<std::string> numbers;
    for (const NetPin* connection = part->netpins; connection != nullptr; connection = connection->nextonpart)
        numbers.emplace_back(connection->libpin->number);
    return numbers;
}

// A connection to PIN, carved with the design.
NetPin* MakeConnection(LibPin* pin) {
    NetPin* connection = static_cast<NetPin*>(CarveRecord(Arena::Design, sizeof(NetPin), Fill::Zeroed));
    connection->libpin = pin;
    return connection;
}

TEST_F(Tables, StartGivesEmptyTablesOfOneStep) {
    EXPECT_EQ(Design.partcount, 0);
    EXPECT_EQ(Design.componentcount, 0);
    EXPECT_EQ(Design.netcount, 0);
    EXPECT_EQ(Design.netpincount, 0);
    EXPECT_EQ(Design.partcapacity, 256);
    EXPECT_EQ(Design.componentcapacity, 256);
    EXPECT_EQ(Design.netcapacity, 256);
}

TEST_F(Tables, StartReleasesAnEarlierDesign) {
    AddPartInstance("U1", 0, nullptr);
    Design.netpincount = 3;
    ASSERT_EQ(StartDesignTables(), 1);
    EXPECT_EQ(Design.partcount, 0);
    EXPECT_EQ(Design.netpincount, 0);
}

TEST_F(Tables, EveryTableGrowsByOneStepAndKeepsItsEntries) {
    std::vector<PartInstance*> parts;
    std::vector<Net*> nets;
    std::vector<ComponentDef*> components;
    for (int i = 0; i < 257; i++) {
        std::string name = "N" + std::to_string(1000 + i);
        int32_t partindex = -2, netindex = -2, componentindex = -2;
        parts.push_back(AddPartInstance(name.c_str(), i, &partindex));
        nets.push_back(AddNet(name.c_str(), &netindex));
        components.push_back(AddComponentDef(name.c_str(), &componentindex));
        ASSERT_EQ(partindex, i);
        ASSERT_EQ(netindex, i);
        ASSERT_EQ(componentindex, i);
        ASSERT_EQ(Design.partcapacity, i < 256 ? 256 : 512) << "part " << i;
        ASSERT_EQ(Design.netcapacity, i < 256 ? 256 : 512) << "net " << i;
        ASSERT_EQ(Design.componentcapacity, i < 256 ? 256 : 512) << "component " << i;
    }
    EXPECT_EQ(Design.partcount, 257);
    for (int i = 0; i < 257; i++) {
        std::string name = "N" + std::to_string(1000 + i);
        EXPECT_EQ(Design.parts[i], parts[i]);
        EXPECT_STREQ(Design.parts[i]->reference, name.c_str());
        EXPECT_EQ(Design.parts[i]->component, i);
        EXPECT_EQ(Design.nets[i], nets[i]);
        EXPECT_EQ(Design.components[i], components[i]);
    }
}

TEST_F(Tables, AddedRecordsHoldCopiesAndDefaults) {
    std::string name = "R1";
    PartInstance* part = AddPartInstance(name.c_str(), 4, nullptr);
    Net* net = AddNet(name.c_str(), nullptr);
    ComponentDef* component = AddComponentDef(name.c_str(), nullptr);
    name[0] = 'X';
    EXPECT_STREQ(part->reference, "R1");
    EXPECT_EQ(part->value, EmptyText);
    EXPECT_EQ(part->netpins, nullptr);
    EXPECT_EQ(part->properties, nullptr);
    EXPECT_EQ(part->component, 4);
    EXPECT_STREQ(net->name, "R1");
    EXPECT_EQ(net->netpins, nullptr);
    EXPECT_EQ(net->localnumber, 0);
    EXPECT_EQ(net->netdir, 0);
    EXPECT_EQ(net->nettype, 'L');
    EXPECT_EQ(net->properties, nullptr);
    EXPECT_STREQ(component->name, "R1");
    EXPECT_EQ(component->sourcelib, EmptyText);
    EXPECT_EQ(component->properties, nullptr);
    EXPECT_EQ(component->libpins, nullptr);
}

// At a full table an add allocates only the larger array: the record and
// its copy are carved from the design's block, which has room.
TEST_F(Tables, AddWithoutMemoryLeavesTheTableAsItWas) {
    for (int i = 0; i < 256; i++) {
        std::string name = "P" + std::to_string(i);
        AddPartInstance(name.c_str(), 0, nullptr);
        AddNet(name.c_str(), nullptr);
        AddComponentDef(name.c_str(), nullptr);
    }
    PartInstance** parts = Design.parts;
    int32_t index = 7;
    SetAllocationFailure(0);
    EXPECT_EQ(AddPartInstance("U9", 0, &index), nullptr);
    EXPECT_EQ(index, -1);
    SetAllocationFailure(0);
    EXPECT_EQ(AddNet("N9", &index), nullptr);
    SetAllocationFailure(0);
    EXPECT_EQ(AddComponentDef("C9", &index), nullptr);
    EXPECT_EQ(SetAllocationFailure(-1), 1);
    EXPECT_EQ(Design.partcount, 256);
    EXPECT_EQ(Design.partcapacity, 256);
    EXPECT_EQ(Design.parts, parts);
    EXPECT_EQ(Design.netcount, 256);
    EXPECT_EQ(Design.netcapacity, 256);
    EXPECT_EQ(Design.componentcount, 256);
    EXPECT_EQ(Design.componentcapacity, 256);
    EXPECT_NE(AddPartInstance("U9", 0, nullptr), nullptr);
    EXPECT_EQ(Design.partcapacity, 512);
}

// The first record of a design needs a block; without one nothing is added.
TEST_F(Tables, AddWithoutABlockAddsNothing) {
    int32_t index = 7;
    SetAllocationFailure(0);
    EXPECT_EQ(AddPartInstance("U1", 0, &index), nullptr);
    EXPECT_EQ(index, -1);
    SetAllocationFailure(0);
    EXPECT_EQ(AddNet("N1", &index), nullptr);
    SetAllocationFailure(0);
    EXPECT_EQ(AddComponentDef("C1", &index), nullptr);
    SetAllocationFailure(-1);
    EXPECT_EQ(Design.partcount + Design.netcount + Design.componentcount, 0);
    EXPECT_NE(AddNet("N1", &index), nullptr);
    EXPECT_EQ(index, 0);
}

// Carved memory is zeroed and aligned as asked in either arena, texts are
// exact copies, and a carving larger than a block still succeeds (a block
// of its own).
TEST_F(Tables, CarvedRecordsAndTextsAreSound) {
    std::vector<std::pair<const char*, std::string>> texts;
    for (int i = 0; i < 20000; i++) {
        Arena arena = i % 2 == 0 ? Arena::Design : Arena::Parts;
        std::size_t alignment = i % 3 == 0 ? CacheLine : alignof(LibPin);
        std::string text(static_cast<size_t>(i % 37), static_cast<char>('a' + i % 26));
        const char* copy = CarveText(arena, text.c_str());
        ASSERT_NE(copy, nullptr);
        texts.emplace_back(copy, text);
        auto* pin = static_cast<LibPin*>(CarveRecord(arena, sizeof(LibPin), Fill::Zeroed, alignment));
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pin) % alignment, 0u);
        EXPECT_EQ(pin->next, nullptr);
        EXPECT_EQ(pin->properties, nullptr);
        EXPECT_EQ(pin->numbervalue, 0);
        std::memset(pin, 0xA5, sizeof(LibPin));
    }
    std::string big(3 * 1024 * 1024, 'x');
    const char* copy = CarveText(Arena::Design, big.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy, big);
    // A text after a longer one of its slot that it begins.
    for (const char* text : {"1AX", "1A"}) texts.emplace_back(CarveSharedText(text), text);
    for (const auto& [carved, text] : texts) ASSERT_EQ(carved, text);
}

// Recurring property texts are carved once and handed out again; every
// text handed out reads as it was given, however the texts collide, and
// none outlives the design it was carved with.
TEST_F(Tables, SharedTextsReadAsGivenAndDieWithTheirDesign) {
    const char* value = CarveSharedText("Value");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(CarveSharedText("Value"), value);
    EXPECT_STREQ(CarveSharedText(""), "");
    std::vector<std::pair<const char*, std::string>> texts;
    for (int i = 0; i < 5000; i++) {
        // Same length and ends, differing inside; a few hundred kinds.
        std::string text = "P" + std::to_string(i % 300) + std::string(static_cast<size_t>(i % 7), 'x') + "Q";
        const char* carved = CarveSharedText(text.c_str());
        ASSERT_NE(carved, nullptr);
        texts.emplace_back(carved, text);
    }
    for (const auto& [carved, text] : texts) ASSERT_EQ(carved, text);
    // The texts of a released design are not handed out again (a sanitizer
    // build sees any read of them).
    ReleaseRun();
    ASSERT_EQ(StartDesignTables(), 1);
    const char* again = CarveSharedText("Value");
    ASSERT_NE(again, nullptr);
    EXPECT_STREQ(again, "Value");
}

TEST_F(Tables, StartWithoutMemoryLeavesNoTables) {
    long made = SweepAllocationFailures([](AllocationFailurePoint& point) {
        point.Arm();
        int started = StartDesignTables();
        if (!point.Disarm()) {
            EXPECT_EQ(started, 1);
            EXPECT_EQ(Design.partcapacity, TableStep);
            return;
        }
        EXPECT_EQ(started, 0) << "allocation " << point.Failing();
        EXPECT_EQ(Design.parts, nullptr);
        EXPECT_EQ(Design.components, nullptr);
        EXPECT_EQ(Design.nets, nullptr);
        EXPECT_EQ(Design.partcapacity, 0);
    });
    // One array for each of the three tables.
    EXPECT_EQ(made, 3);
}

TEST_F(Tables, FindPartIsAnExactBinarySearch) {
    EXPECT_EQ(FindPart("U1"), -1);
    AddPartInstance("U1", 0, nullptr);
    EXPECT_EQ(FindPart("U1"), 0);
    EXPECT_EQ(FindPart("u1"), -1);
    EXPECT_EQ(FindPart("U"), -1);
    EXPECT_EQ(FindPart("U10"), -1);
    EXPECT_EQ(FindPart("A"), -1);
    EXPECT_EQ(FindPart("Z"), -1);
    ReleaseDesignTables();
    ASSERT_EQ(StartDesignTables(), 1);
    const char* sorted[] = {"C1", "R1", "R10", "R2", "U1", "U2", "u1"};
    for (const char* reference : sorted) AddPartInstance(reference, 0, nullptr);
    for (int32_t i = 0; i < 7; i++) EXPECT_EQ(FindPart(sorted[i]), i) << sorted[i];
    EXPECT_EQ(FindPart("R3"), -1);
    EXPECT_EQ(FindPart("c1"), -1);
}

// A placement section's parts are sorted by the first eight bytes of their
// references and then by the rest: the order of a byte-wise sort of the
// whole texts, with memory for the keys or without.
TEST_F(Tables, NewPartsSortAsTheirWholeReferences) {
    std::vector<std::string> references = {"ABCDEFGH1", "ABCDEFGH", "ABCDEFGH10", "ABCDEFG", "\xff", "A",
                                           "ABCDEFGHZ", "abcdefgh", "ABCDEFGH\xe9", "ABCDEFGG~", "B", "ABCDEFGH0",
                                           std::string(40, 'Q') + "1", std::string(40, 'Q'), "ABCDEFGI", "0"};
    // Enough parts that the sort holds keys.
    for (int i = 0; i < 2000; i++) references.push_back("P" + std::to_string(i * 7919 % 2000));
    std::vector<std::string> sorted = references;
    std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
    for (long failure : {-1L, 0L}) {
        SCOPED_TRACE(failure);
        ReleaseDesignTables();
        ASSERT_EQ(StartDesignTables(), 1);
        for (const std::string& reference : references) ASSERT_NE(AddPartInstance(reference.c_str(), 0, nullptr), nullptr);
        // The next allocation is the keys' array: the sort asks for it,
        // whether or not it is had.
        SetAllocationFailure(failure);
        EXPECT_EQ(SortNewParts(), nullptr);
        EXPECT_EQ(SetAllocationFailure(-1), 1);
        std::vector<std::string> order;
        for (int32_t i = 0; i < Design.partcount; i++) order.emplace_back(Design.parts[i]->reference);
        EXPECT_EQ(order, sorted);
    }
}

TEST_F(Tables, ReferencesCompareAsUnsignedBytesPrefixFirst) {
    struct Row {
        const char* a;
        const char* b;
        int sign;
    } rows[] = {
        {"U1", "U1", 0},    {"U1", "U10", -1}, {"U10", "U2", -1}, {"U2", "u1", -1},
        {"Z", "\xC4", -1},  {"", "A", -1},     {"A", "", 1},      {"R1", "R", 1},
    };
    for (const Row& row : rows) {
        int order = CompareReferences(row.a, row.b);
        EXPECT_EQ((order > 0) - (order < 0), row.sign) << row.a << " vs " << row.b;
    }
}

TEST_F(Tables, PinNumberValues) {
    struct Row {
        const char* number;
        int32_t value;
    } rows[] = {
        {"1", 1},           {"01", 1},           {"0", 0},        {"", -1},
        {"1A", -1},         {"A1", -1},          {"-1", -1},      {" 1", -1},
        {"2147483647", INT32_MAX}, {"2147483648", -1}, {"99999999999999999999", -1},
        {"0002147483647", INT32_MAX},
    };
    for (const Row& row : rows) EXPECT_EQ(PinNumberValue(row.number), row.value) << '"' << row.number << '"';
}

TEST_F(Tables, FindComponentDefGivesTheFirstOfThatExactName) {
    int32_t index = 9;
    EXPECT_EQ(FindComponentDef("7400", &index), nullptr);
    EXPECT_EQ(index, -1);
    AddComponentDef("RES", nullptr);
    ComponentDef* first = AddComponentDef("7400", nullptr);
    AddComponentDef("7400", nullptr);
    EXPECT_EQ(FindComponentDef("7400", &index), first);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(FindComponentDef("res", &index), nullptr);
    EXPECT_EQ(index, -1);
}

TEST_F(Tables, FindLibPinComparesTextsNotValues) {
    ComponentDef* component = AddComponentDef("7400", nullptr);
    InsertLibPin(component, MakePin("1"));
    InsertLibPin(component, MakePin("A"));
    EXPECT_STREQ(FindLibPin(component, "1")->number, "1");
    EXPECT_EQ(FindLibPin(component, "01"), nullptr);
    EXPECT_EQ(FindLibPin(component, "a"), nullptr);
    EXPECT_EQ(FindLibPin(component, "2"), nullptr);
}

TEST_F(Tables, LibPinsStandInPinOrder) {
    using Numbers = std::vector<std::string>;
    struct Row {
        Numbers inserted;
        Numbers order;
    } rows[] = {
        {{"10", "2", "A", "1"}, {"1", "2", "10", "A"}},
        {{"1", "2", "10", "B"}, {"1", "2", "10", "B"}},
        {{"1", "2", "10", "0A"}, {"0A", "1", "2", "10"}},
        {{"B", "A", "C"}, {"A", "B", "C"}},
        {{"5", "05"}, {"5", "05"}},
        {{"05", "5"}, {"05", "5"}},
        {{"2", "2"}, {"2", "2"}},
    };
    for (const Row& row : rows) {
        ComponentDef* component = AddComponentDef("IC", nullptr);
        for (const std::string& number : row.inserted) InsertLibPin(component, MakePin(number.c_str()));
        EXPECT_EQ(PinOrder(component), row.order) << ::testing::PrintToString(row.inserted);
    }
}

TEST_F(Tables, NetPinsStandInPinOrderAndRefuseDuplicates) {
    using Numbers = std::vector<std::string>;
    struct Row {
        Numbers pins;        // the component's pins, each connected in this order
        Numbers order;       // the part's connections afterwards
        int duplicate;       // index of the connection refused, or -1
    } rows[] = {
        {{"3", "3"}, {"3"}, 1},
        {{"1", "01"}, {"1"}, 1},
        {{"A", "a"}, {"A", "a"}, -1},
        {{"A", "A"}, {"A"}, 1},
        {{"10", "2", "1"}, {"1", "2", "10"}, -1},
        {{"B", "2", "A", "1"}, {"A", "B", "1", "2"}, -1},
        {{"1", "B", "A"}, {"1", "A", "B"}, -1},
        {{"2", "B", "1"}, {"1", "2", "B"}, -1},
        // Long enough for the part to keep its connections beside the list.
        {{"9", "8", "7", "6", "5", "4", "3", "2", "1", "05"}, {"1", "2", "3", "4", "5", "6", "7", "8", "9"}, 9},
        {{"E", "D", "C", "B", "A", "C"}, {"A", "B", "C", "D", "E"}, 5},
        {{"1", "2", "3", "4", "5", "B", "A", "3", "10"}, {"1", "2", "3", "4", "5", "A", "B", "10"}, 7},
    };
    for (const Row& row : rows) {
        int32_t index = -1;
        ComponentDef* component = AddComponentDef("IC", &index);
        PartInstance* part = AddPartInstance("U1", index, nullptr);
        std::vector<LibPin*> pins;
        for (const std::string& number : row.pins) {
            pins.push_back(MakePin(number.c_str(), index));
            InsertLibPin(component, pins.back());
        }
        int refused = -1;
        for (size_t i = 0; i < pins.size(); i++) {
            NetPin* connection = MakeConnection(pins[i]);
            if (!InsertNetPin(part, connection)) refused = static_cast<int>(i);
        }
        EXPECT_EQ(refused, row.duplicate) << ::testing::PrintToString(row.pins);
        EXPECT_EQ(ConnectionOrder(part), row.order) << ::testing::PrintToString(row.pins);
    }
}

// Components with more distinct pins than a word of slots holds: connections
// made in a scattered order stand in pin order, none lost between words.
TEST_F(Tables, ConnectionsOfManyPinsStandInPinOrder) {
    for (int count : {33, 65, 100}) {
        for (const char* prefix : {"", "P"}) {
            int32_t index = -1;
            ComponentDef* component = AddComponentDef("IC", &index);
            PartInstance* part = AddPartInstance("U1", index, nullptr);
            std::vector<LibPin*> pins;
            std::vector<std::string> numbers;
            for (int i = 0; i < count; i++) {
                numbers.push_back(prefix + std::to_string(1000 + i));
                pins.push_back(MakePin(numbers.back().c_str(), index));
                InsertLibPin(component, pins.back());
            }
            for (int i = 0; i < count; i++) EXPECT_EQ(InsertNetPin(part, MakeConnection(pins[i * 7 % count])), 1);
            EXPECT_EQ(ConnectionOrder(part), numbers) << count << " pins " << prefix;
        }
    }
}

// The first pin of its exact text, whatever order the pins came in, as a
// scan of the list finds it: numbers by their table of values or by
// search, texts by search, and lists of both kinds by the scan itself.
TEST_F(Tables, FindLibPinGivesWhatTheScanFindsInEveryOrder) {
    using Numbers = std::vector<std::string>;
    Numbers ascending, descending, shuffled, grid;
    for (int i = 1; i <= 40; i++) ascending.push_back(std::to_string(i));
    descending.assign(ascending.rbegin(), ascending.rend());
    for (int i = 0; i < 40; i++) shuffled.push_back(ascending[static_cast<std::size_t>(i * 17 % 40)]);
    for (const char* row : {"A", "B", "AA"})
        for (int i = 1; i <= 9; i++) grid.push_back(row + std::to_string(i));
    const Numbers lists[] = {ascending, descending, shuffled, grid,
                             {"7", "07", "7", "007", "3"},
                             {"1", "100000", "2", "99999", "3"},
                             {"300", "1", "299", "2", "298"},
                             {"12", "A", "3", "01", "B", "1"}};
    const Numbers probes = {"0", "1", "01", "7", "07", "3", "40", "41", "100000", "298", "299", "2147483647",
                            "99999999999", "A", "A1", "AA9", "B", "b", ""};
    for (const Numbers& list : lists) {
        ComponentDef* component = AddComponentDef("IC", nullptr);
        for (const std::string& number : list) InsertLibPin(component, MakePin(number.c_str()));
        Numbers tried = probes;
        tried.insert(tried.end(), list.begin(), list.end());
        for (const std::string& number : tried) {
            const LibPin* scanned = component->libpins;
            while (scanned != nullptr && number != scanned->number) scanned = scanned->next;
            EXPECT_EQ(FindLibPin(component, number.c_str()), scanned)
                << '"' << number << "\" in " << ::testing::PrintToString(list);
        }
    }
}

// Without memory for any one array or table, every list still comes out
// in pin order, with the same duplicates refused and the same pins found.
TEST_F(Tables, PinOrdersHoldWithoutMemoryForAnyArray) {
    struct Outcome {
        std::vector<std::string> pins, connections;
        std::vector<int> refused;
        std::vector<std::string> found;
        bool operator==(const Outcome& other) const {
            return pins == other.pins && connections == other.connections && refused == other.refused &&
                   found == other.found;
        }
    };
    auto build = [](AllocationFailurePoint* point) {
        ReleaseRun();
        StartDesignTables();
        int32_t index = -1;
        ComponentDef* component = AddComponentDef("IC", &index);
        PartInstance* part = AddPartInstance("U1", index, nullptr);
        // The records are made first: only what the pin order keeps may fail.
        std::vector<LibPin*> pins;
        std::vector<NetPin*> connections;
        for (int i = 0; i < 30; i++) pins.push_back(MakePin(std::to_string(i * 7 % 30 + 1).c_str(), index));
        for (int i = 0; i < 40; i++) connections.push_back(MakeConnection(pins[static_cast<std::size_t>(i * 11 % 30)]));
        if (point != nullptr) point->Arm();
        for (LibPin* pin : pins) InsertLibPin(component, pin);
        Outcome outcome;
        for (int i = 0; i < 40; i++)
            if (!InsertNetPin(part, connections[static_cast<std::size_t>(i)])) outcome.refused.push_back(i);
        for (const char* number : {"1", "15", "30", "31"}) {
            const LibPin* found = FindLibPin(component, number);
            outcome.found.push_back(found != nullptr ? found->number : "none");
        }
        if (point != nullptr) point->Disarm();
        outcome.pins = PinOrder(component);
        outcome.connections = ConnectionOrder(part);
        return outcome;
    };
    Outcome whole = build(nullptr);
    ASSERT_EQ(whole.refused.size(), 10u);
    long allocations = SweepAllocationFailures([&](AllocationFailurePoint& point) {
        EXPECT_TRUE(build(&point) == whole) << "allocation " << point.Failing() << " failed";
    });
    EXPECT_GT(allocations, 2);
}

// The lookups answer for the very text: names and references that share
// their first eight bytes, and C0322382 and C0139599, which a hash of the
// whole text by FNV-1a alone would not tell apart.
TEST_F(Tables, LookupsTellApartTextsOfOnePrefixOrHash) {
    AddComponentDef("C0322382", nullptr);
    AddComponentDef("C0139599", nullptr);
    AddComponentDef("PREFIXED", nullptr);
    int32_t index = -1;
    FindComponentDef("C0139599", &index);
    EXPECT_EQ(index, 1);
    FindComponentDef("C0322382", &index);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(FindComponentDef("PREFIXED1", &index), nullptr);
    std::vector<std::string> references;
    for (int i = 0; i < 200; i++) references.push_back("PREFIXED" + std::to_string(1000 + i));
    for (const std::string& reference : references) AddPartInstance(reference.c_str(), 0, nullptr);
    ASSERT_EQ(SettlePartOrder(), 1);
    for (std::size_t i = 0; i < references.size(); i++)
        EXPECT_EQ(FindPartIndex(references[i].c_str()), static_cast<int32_t>(i));
    EXPECT_EQ(FindPartIndex("PREFIXED"), -1);
    EXPECT_EQ(FindPartIndex("PREFIXED10000"), -1);
}

// Parts of several placement sections stand in one sorted table once the
// order settles, and every connection then names its part's place in it.
TEST_F(Tables, SettledOrderNamesEveryConnectionsPart) {
    int32_t index = -1;
    ComponentDef* component = AddComponentDef("IC", &index);
    LibPin* pin = MakePin("1", index);
    InsertLibPin(component, pin);
    std::vector<std::string> references;
    for (int section = 0; section < 3; section++) {
        // A placement section, then a network section that connects its parts.
        for (int i = 0; i < 50; i++) {
            references.push_back("R" + std::to_string(i * 3 + section));
            AddPartInstance(references.back().c_str(), index, nullptr);
        }
        ASSERT_EQ(SortNewParts(), nullptr);
        ASSERT_EQ(SettlePartOrder(), 1);
        for (std::size_t i = references.size() - 50; i < references.size(); i++) {
            NetPin* connection = MakeConnection(pin);
            connection->part = FindPartIndex(references[i].c_str());
            ASSERT_GE(connection->part, 0);
            ASSERT_EQ(InsertNetPin(Design.parts[connection->part], connection), 1);
            Design.netpincount++;
        }
    }
    ASSERT_EQ(SettlePartOrder(), 1);
    std::sort(references.begin(), references.end());
    ASSERT_EQ(Design.partcount, 150);
    for (int32_t i = 0; i < Design.partcount; i++) {
        EXPECT_EQ(Design.parts[i]->reference, references[static_cast<std::size_t>(i)]);
        EXPECT_EQ(Design.parts[i]->netpins->part, i);
        EXPECT_EQ(FindPart(Design.parts[i]->reference), i);
        EXPECT_EQ(FindPartIndex(Design.parts[i]->reference), i);
    }
}

TEST_F(Tables, ReleaseReturnsEverythingToLoadState) {
    ComponentDef* component = AddComponentDef("7400", nullptr);
    component->sourcelib = CopyText("TTL.OLB");
    LibPin* pin = MakePin("1");
    pin->pinname = CopyText("A");
    InsertLibPin(component, pin);
    PartInstance* part = AddPartInstance("U1", 0, nullptr);
    part->value = CopyText("7400");
    part->valueowned = 1;
    NetPin* connection = MakeConnection(pin);
    InsertNetPin(part, connection);
    Net* net = AddNet("GND", nullptr);
    net->netpins = connection;
    Header.title = CopyText("Board");
    ASSERT_EQ(AddPipeText("word", true), 1);
    Design.netpincount = 1;

    ReleaseDesignTables();
    ReleaseDesignHeader();
    ReleasePipeText();
    EXPECT_EQ(Design.parts, nullptr);
    EXPECT_EQ(Design.components, nullptr);
    EXPECT_EQ(Design.nets, nullptr);
    EXPECT_EQ(Design.partcount + Design.componentcount + Design.netcount + Design.netpincount, 0);
    EXPECT_EQ(Design.partcapacity + Design.componentcapacity + Design.netcapacity, 0);
    EXPECT_EQ(Header.title, EmptyText);
    EXPECT_EQ(Header.address4, EmptyText);
    EXPECT_EQ(PipeTextList, nullptr);
}

}  // namespace
