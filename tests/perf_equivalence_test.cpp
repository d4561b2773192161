// The library against the test model of its lookups and pin order. The
// model, the plain algorithms (tests/model), is linked into this program
// with the rest of the library's code; the real shared library is loaded as
// a host loads it. Every design must give both the same result, messages
// and netlist: generated designs of every shape, pin lists of every kind
// and order, the golden designs, design faults, and random sequences of
// awkward pin numbers.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "gen_design.h"
#include "reader/design.h"
#include "reader/pinorder.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The export of the shared library, loaded once for the whole program.
ZedidDLL90Function Library() {
    static const ZedidDLL90Function run = [] {
#if defined(_WIN32)
        HMODULE module = LoadLibraryA(ZEDID_LIBRARY);
        FARPROC address = module != nullptr ? GetProcAddress(module, "ZedidDLL90") : nullptr;
        return reinterpret_cast<ZedidDLL90Function>(reinterpret_cast<void*>(address));
#else
        void* module = dlopen(ZEDID_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        return reinterpret_cast<ZedidDLL90Function>(module != nullptr ? dlsym(module, "ZedidDLL90") : nullptr);
#endif
    }();
    return run;
}

class ModelEquivalence : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_NE(Library(), nullptr) << "cannot load " << ZEDID_LIBRARY;
    }
};

struct Outcome {
    int result;
    Lines messages;
    std::string netlist;
};

// Formats TEXT with the library, or with the model in this process.
Outcome Format(bool library, const std::string& text) {
    WriteBytes("design.ONL", text);
    // A run that writes nothing must not show the netlist of the run before.
    std::error_code ignored;
    fs::remove("design.asc", ignored);
    TakeMessages();
    int result = library ? Library()("design", "design.asc", nullptr, nullptr, RecordMessage, nullptr)
                         : CallExport("design", "design.asc");
    return {result, TakeMessages(), ReadBytes("design.asc")};
}

// The library must format TEXT as the model does. Gives the model's run.
Outcome ExpectAlike(const std::string& text, const std::string& what) {
    Outcome model = Format(false, text);
    Outcome library = Format(true, text);
    EXPECT_EQ(library.result, model.result) << what;
    EXPECT_EQ(library.messages, model.messages) << what;
    EXPECT_TRUE(library.netlist == model.netlist) << what << ": netlists differ";
    return model;
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
TEST_F(ModelEquivalence, GeneratedDesignsFormatAlike) {
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
    zedidgen::Parameters manyshuffled = Shape(zedidgen::Shape::ManyPins);
    manyshuffled.parts = 300;
    manyshuffled.pinorder = Order::Shuffled;
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
        {"manypins", Shape(zedidgen::Shape::ManyPins)},
        {"manypins, pins shuffled", manyshuffled},
        {"mixed, ascending", Custom(PinNames::Mixed, Order::Ascending, Order::Ascending, 60, 1)},
        {"mixed, descending", Custom(PinNames::Mixed, Order::Descending, Order::Descending, 60, 2)},
        {"mixed, shuffled", Custom(PinNames::Mixed, Order::Shuffled, Order::Shuffled, 60, 3)},
        {"mixed, shuffled pins in order", Custom(PinNames::Mixed, Order::Shuffled, Order::Ascending, 80, 4)},
        {"grid, shuffled", Custom(PinNames::Grid, Order::Shuffled, Order::Shuffled, 70, 5)},
        {"numeric, shuffled", Custom(PinNames::Numeric, Order::Shuffled, Order::Shuffled, 70, 6)},
    };
    for (const GeneratedCase& row : cases) {
        Outcome plain = ExpectAlike(Generate(row.params), row.what);
        // A generated design is valid, so the whole netlist is compared.
        EXPECT_LE(plain.result, 1) << row.what;
        EXPECT_FALSE(plain.netlist.empty()) << row.what;
    }
}

TEST_F(ModelEquivalence, GoldenDesignsFormatAlike) {
    int designs = 0;
    for (const char* root : {ZEDID_TEST_DATA "/golden", ZEDID_EXAMPLES}) {
        std::error_code missing;
        for (fs::recursive_directory_iterator it(root, missing), end; !missing && it != end; it.increment(missing)) {
            if (it->path().extension() != ".ONL") continue;
            ExpectAlike(ReadBytes(it->path().string()), it->path().string());
            designs++;
        }
    }
    EXPECT_GT(designs, 0);
}

// Faults found while placing and connecting, and parts placed after
// connections were made: the first fault and its message must be the same.
TEST_F(ModelEquivalence, DesignFaultsAreFoundAlike) {
    const struct {
        const char* what;
        const char* places;   // of the first placement section
        const char* rest;     // what follows the library
        const char* message;  // the first message's start; null: none
    } rows[] = {
        {"duplicate pin", "(place U1)", "(network (net N (pins U1-1 U1-2 U1-A1 U1-1)))",
         "[FMT0003] Duplicate pin U1 pin 1."},
        {"same value written twice", "(place U1)", "(network (net N (pins U1-7 U1-007)))",
         "[FMT0003] Duplicate pin U1 pin 007."},
        {"duplicate text pin", "(place U1)", "(network (net N (pins U1-B2 U1-A1 U1-B2)))",
         "[FMT0003] Duplicate pin U1 pin B2."},
        {"pin mismatch", "(place U1)", "(network (net N (pins U1-1 U1-01)))",
         "[FMT0023] Lib/part pin mismatch U1 pin 01"},
        {"reference not placed", "(place U1)", "(network (net N (pins U1-1 U9-1)))", "[FMT0024] Ref-des not found."},
        {"references equal but for case", "(place U1) (place u1)", "", "[FMT0004] Duplicate Ref-Des U1."},
        {"equal references in two sections", "(place U1) (place U3)",
         "(placement (component BIG (place U2) (place u3)))", "[FMT0004] Duplicate Ref-Des U3."},
        {"equal references in two sections, the later sorting first", "(place U1) (place u3)",
         "(placement (component BIG (place U2) (place U3)))", "[FMT0004] Duplicate Ref-Des U3."},
        {"parts placed after connections", "(place U5)",
         "(network (net N (pins U5-1))) (placement (component TWO (place U1) (place U9)))"
         " (library (image TWO (pin x 1) (pin x 2))) (network (net M (pins U9-1 U1-2 U5-2)))",
         nullptr},
    };
    std::string pins;
    for (int i = 1; i <= 40; i++) pins += " (pin x " + std::to_string(i) + ")";
    pins += " (pin x 007) (pin x A1) (pin x B2) (pin x A10)";
    for (const auto& row : rows) {
        std::string text = "(pcb (placement (component BIG " + std::string(row.places) + "))\n (library (image BIG" +
                           pins + "))\n " + row.rest + ")\n";
        Outcome model = ExpectAlike(text, row.what);
        if (row.message == nullptr) {
            EXPECT_LE(model.result, 1) << row.what;
            continue;
        }
        EXPECT_EQ(model.result, ZEDID_RESULT_ERRORS) << row.what;
        ASSERT_FALSE(model.messages.empty()) << row.what;
        EXPECT_EQ(model.messages[0].rfind(row.message, 0), 0u) << row.what << ": " << model.messages[0];
    }
}

// ---- Random sequences of awkward pin numbers --------------------------------

// Pin numbers that make the orders hard: numbers and texts that sort
// differently, zero-led numbers equal in value (also far past the others,
// as a table of values covers them late), numbers past int32, texts that
// share their first eight bytes, the empty text. The first Numbers of them
// are numbers that fit 32 bits.
const char* const AwkwardPins[] = {
    "1", "2", "3", "9", "10", "11", "01", "001", "0", "00", "99", "099", "2147483647", "2147483648", "99999999999",
    "A", "B", "a", "A1", "A10", "A2", "1A", "50A", "5A", "9B", "#1", "+5", "~", "",
    "PIN_LONG_NAME_1", "PIN_LONG_NAME_2", "PIN_LONG_NAME_10", "PIN_LONG", "PIN_LONG_", "PIN_LONGER",
};
constexpr int AwkwardCount = sizeof AwkwardPins / sizeof AwkwardPins[0];
constexpr int Numbers = 13;

// A fixed stream of pseudo-random numbers (the test's own, so the
// sequences are the same on every platform).
struct Stream {
    std::uint64_t state;
    int Below(int n) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((state >> 33) % static_cast<std::uint64_t>(n));
    }
};

struct Connection {
    int part;     // 0: U1, 1: U2
    int awkward;  // its pin number
};

// A component's pins, the connections of two of its parts, and pins added
// to the component after the first half of the connections.
struct Sequence {
    std::vector<int> library;  // AwkwardPins indexes, in file order
    std::vector<Connection> connections;
    std::vector<int> late;
};

// Sequences of numbers alone, texts alone or both, often of few distinct
// pins (many equal pins), now and then naming a pin the component lacks;
// every fourth gets late pins, of its own kind or (every eighth) of the
// other.
Sequence MakeSequence(std::uint64_t seed) {
    Stream random{seed};
    int kind = static_cast<int>(seed % 3);
    int first = kind == 2 ? Numbers : 0;
    int count = kind == 0 ? AwkwardCount : kind == 1 ? Numbers : AwkwardCount - Numbers;
    Sequence sequence;
    int pool = 2 + random.Below(count - 1);
    int pins = 1 + random.Below(90);
    for (int i = 0; i < pins; i++) sequence.library.push_back(first + random.Below(pool));
    if (seed % 4 == 0) {
        for (int i = 0; i < 3; i++)
            sequence.late.push_back(seed % 8 != 0 ? first + random.Below(count)
                                    : first == 0 ? Numbers + 2 + random.Below(10) : random.Below(Numbers));
    }
    int connections = random.Below(120);
    for (int i = 0; i < connections; i++) {
        int awkward = random.Below(10) == 0 ? random.Below(AwkwardCount)
                                            : sequence.library[static_cast<std::size_t>(random.Below(pins))];
        sequence.connections.push_back({random.Below(2), awkward});
    }
    return sequence;
}

// What the model makes of each connection of SEQUENCE, by its own
// functions: 1 taken, 0 a duplicate pin, -1 no such pin.
std::vector<int> ModelVerdicts(const Sequence& sequence) {
    std::deque<LibPin> pins;
    std::deque<NetPin> connections;
    ComponentDef component{};
    PartInstance parts[2] = {};
    auto add = [&](int awkward) {
        LibPin& pin = pins.emplace_back();
        pin.number = AwkwardPins[awkward];
        pin.numbervalue = PinNumberValue(pin.number);
        InsertLibPin(&component, &pin);
    };
    for (int awkward : sequence.library) add(awkward);
    std::vector<int> verdicts;
    for (std::size_t c = 0; c < sequence.connections.size(); c++) {
        if (c == sequence.connections.size() / 2)
            for (int awkward : sequence.late) add(awkward);
        NetPin& connection = connections.emplace_back();
        connection.libpin = FindLibPin(&component, AwkwardPins[sequence.connections[c].awkward]);
        PartInstance& part = parts[sequence.connections[c].part];
        verdicts.push_back(connection.libpin == nullptr ? -1 : InsertNetPin(&part, &connection));
    }
    return verdicts;
}

std::string Token(const char* text) { return text[0] == '\0' ? "\"\"" : text; }

// SEQUENCE as a design with the connections CHOSEN (indexes, in order):
// the late pins come in a second library section after the connections of
// the first half, which the sections before and after it hold.
std::string SequenceDesign(const Sequence& sequence, const std::vector<std::size_t>& chosen) {
    std::string text = "(pcb (placement (component C (place U1) (place U2)))\n (library (image C";
    int number = 0;
    auto pins = [&](const std::vector<int>& awkward) {
        for (int a : awkward) text += "\n  (pin " + std::to_string(++number) + " " + Token(AwkwardPins[a]) + ")";
    };
    pins(sequence.library);
    text += "))\n (network (net N1 (pins";
    bool late = false;
    for (std::size_t c : chosen) {
        if (!late && c >= sequence.connections.size() / 2) {
            late = true;
            text += ")))\n (library (image C";
            pins(sequence.late);
            text += "))\n (network (net N2 (pins";
        }
        const Connection& connection = sequence.connections[c];
        text += "\n  U" + std::to_string(connection.part + 1) + "-" + Token(AwkwardPins[connection.awkward]);
    }
    return text + ")))\n)\n";
}

// Each sequence as designs: with the connections the model takes alone
// (the netlist shows them all), and with those up to the first and the
// last connection it refuses (the message names it). The library must
// take, and refuse, the same connections.
TEST_F(ModelEquivalence, AwkwardPinSequencesFormatAlike) {
    enum { Nine = 3, Ten = 4, OneA = 21, FiftyA = 22, FiveA = 23 };  // in AwkwardPins
    // Pins 9, 10 and 50A stand as 50A 9 10: a second 10 stops at 50A and
    // goes first. Connections 10, 1A and 9 stand as 9 10 1A: 5A goes first,
    // and a second 1A, stopped by 5A, is taken as no duplicate.
    std::vector<Sequence> sequences = {
        {{Nine, Ten, FiftyA, Ten}, {{0, Ten}, {0, Nine}, {1, Ten}, {1, Ten}}, {}},
        {{Nine, Ten, OneA, FiveA}, {{0, Ten}, {0, OneA}, {0, Nine}, {0, FiveA}, {0, OneA}}, {}},
    };
    for (std::uint64_t seed = 1; seed <= 240; seed++) sequences.push_back(MakeSequence(seed));
    int refused[2] = {0, 0};  // duplicates, missing pins
    for (std::size_t s = 0; s < sequences.size(); s++) {
        const Sequence& sequence = sequences[s];
        std::vector<int> verdicts = ModelVerdicts(sequence);
        std::vector<std::size_t> taken, faults;
        for (std::size_t c = 0; c < verdicts.size(); c++) (verdicts[c] == 1 ? taken : faults).push_back(c);
        std::string what = "sequence " + std::to_string(s);
        // A design without a connection has no net, which is an error.
        Outcome alltaken = ExpectAlike(SequenceDesign(sequence, taken), what);
        EXPECT_TRUE(taken.empty() || alltaken.result <= 1) << what;
        std::vector<std::size_t> ends = faults;  // the first and the last
        if (ends.size() > 2) ends.erase(ends.begin() + 1, ends.end() - 1);
        for (std::size_t fault : ends) {
            std::vector<std::size_t> chosen;
            for (std::size_t c : taken)
                if (c < fault) chosen.push_back(c);
            chosen.push_back(fault);
            Outcome model = ExpectAlike(SequenceDesign(sequence, chosen), what + ", fault at " + std::to_string(fault));
            bool duplicate = verdicts[fault] == 0;
            ASSERT_FALSE(model.messages.empty()) << what;
            EXPECT_EQ(model.messages[0].rfind(duplicate ? "[FMT0003]" : "[FMT0023]", 0), 0u) << what;
            refused[duplicate ? 0 : 1]++;
        }
    }
    // The sequences reach both faults often.
    EXPECT_GT(refused[0], 50);
    EXPECT_GT(refused[1], 50);
}

}  // namespace
