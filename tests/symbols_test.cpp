// The format runtime's built-in variables and user symbols.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "design_builder.h"
#include "host/run.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "reader/templates.h"
#include "runtime/channels.h"
#include "runtime/driver.h"
#include "runtime/driver_testing.h"
#include "runtime/symbols.h"
#include "support.h"

namespace {

namespace V = BuiltinVariable;
using Lines = std::vector<std::string>;

// The legal-character set outlives the run's release: every test starts
// and ends without one.
class Symbols : public ConnectedTest {
protected:
    void SetUp() override {
        ConnectedTest::SetUp();
        SetLegalCharacters("");
    }
    void TearDown() override {
        SetLegalCharacters("");
        ConnectedTest::TearDown();
    }

    // What printing INDEX writes, as the host receives it on channel 0.
    static std::string Printed(int index) {
        ClearMessageLine();
        int result = PrintVariable(MessageChannel, index);
        EndLine(MessageChannel);
        Lines lines = TakeMessages();
        EXPECT_EQ(result, 1) << "index " << index;
        return lines.empty() ? "<nothing sent>" : lines.front();
    }

    static std::string Value(int index) {
        const UserSymbol* entry = FindSymbol(index);
        return entry != nullptr ? entry->value : "<no symbol>";
    }

    static int Register(const char* name, const char* value) {
        int index = RegisterSymbol(name);
        EXPECT_EQ(AssignText(index, value), 1) << name;
        return index;
    }
};

TEST_F(Symbols, IntegersAreFilledWithZerosToTheWidth) {
    struct Row {
        int32_t width;
        int32_t value;
        const char* text;
    };
    const Row rows[] = {
        {5, 7, "00007"},      {5, 123456, "123456"}, {5, -5, "000-5"},     {1, 0, "0"},
        {0, 42, "42"},        {-3, 42, "42"},        {5, 12345, "12345"},  {2, -5, "-5"},
        {12, INT32_MIN, "0-2147483648"},
    };
    for (const Row& row : rows) {
        SetIntegerWidth(row.width);
        char text[IntegerTextLimit + 1];
        FormatInteger(text, sizeof text, row.value);
        EXPECT_STREQ(text, row.text) << "width " << row.width << ", value " << row.value;
    }
}

TEST_F(Symbols, HugeIntegerWidthStaysInsideItsArea) {
    SetIntegerWidth(100000);
    char text[IntegerTextLimit + 1];
    std::memset(text, 'x', sizeof text);
    FormatInteger(text, sizeof text, -7);
    EXPECT_EQ(std::strlen(text), static_cast<std::size_t>(IntegerTextLimit));
    EXPECT_EQ(std::string(text).substr(IntegerTextLimit - 2), "-7");
    char small[4];
    FormatInteger(small, sizeof small, 5);
    EXPECT_STREQ(small, "005");
    // Printing and copying stage integers in the same bounded area.
    int s = RegisterSymbol("Number");
    EXPECT_EQ(CopyToSymbol(V::One, s), 1);
    EXPECT_EQ(Value(s).size(), static_cast<std::size_t>(IntegerTextLimit));
}

TEST_F(Symbols, CharactersPrintTheirByteAndMeasureOne) {
    EXPECT_EQ(Printed(V::LetterA), "A");
    EXPECT_EQ(IntegerValue(V::LetterA), 65);
    EXPECT_EQ(Printed(V::NetDirection), "");
    EXPECT_EQ(Printed(V::Reserved38), "");
    EXPECT_EQ(VariableLength(V::NetDirection), 1);
    EXPECT_EQ(VariableLength(V::Reserved38), 1);
}

TEST_F(Symbols, IntegerVariablesMeasureFourWhateverTheirDigits) {
    SetIntegerWidth(9);
    for (int index : {V::Reserved6, V::NetNumber, V::NetLocalNumber, V::One, V::PartCounter}) {
        EXPECT_EQ(VariableType(index), IntegerType) << "index " << index;
        EXPECT_EQ(VariableLength(index), 4) << "index " << index;
    }
    EXPECT_EQ(Printed(V::One), "000000001");
}

// With nothing current every text is empty: each of the 41 variables
// measures as its kind does, integers 4, characters 1, texts 0.
TEST_F(Symbols, EveryVariableMeasuresAsItsKind) {
    std::string lengths;
    for (int index = 0; index < VariableCount; index++) lengths += std::to_string(VariableLength(index));
    EXPECT_EQ(lengths, "01100040014000000000004410000000000400111");
    EXPECT_EQ(VariableType(-1), -1);
    EXPECT_EQ(VariableType(VariableCount), -1);
}

TEST_F(Symbols, NamesAreFoundInAnyLetterCase) {
    EXPECT_EQ(RegisterSymbol("exittype"), ExitTypeSymbol);
    EXPECT_EQ(RegisterSymbol("LOCALSIGNAL"), LocalSignalSymbol);
    EXPECT_EQ(RegisterSymbol("Error"), 102);
    EXPECT_EQ(RegisterSymbol("Error"), 102);
    EXPECT_EQ(RegisterSymbol("eRROR"), 102);
    EXPECT_EQ(RegisterSymbol("Error2"), 103);
    EXPECT_EQ(FindSymbol(103)->name, std::string("Error2"));
    // Every letter folds, from A to Z, and nothing beside them.
    for (const char* names : {"Z1z1", "a1A1", "[1{1", "@1`1"}) {
        int upper = RegisterSymbol(std::string(names, 2).c_str());
        EXPECT_EQ(RegisterSymbol(names + 2) == upper, names[0] != '[' && names[0] != '@') << names;
    }
    EXPECT_EQ(FindSymbol(110), nullptr);
    EXPECT_EQ(FindSymbol(99), nullptr);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Symbols, FullTableRefusesEveryNameWithMessage8) {
    for (int i = PresetSymbols; i < SymbolLimit; i++)
        EXPECT_EQ(RegisterSymbol(("S" + std::to_string(i)).c_str()), FirstSymbol + i);
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_NE(FindSymbol(139), nullptr);
    EXPECT_EQ(RegisterSymbol("Another"), 0);
    EXPECT_EQ(RegisterSymbol("ExitType"), 0);
    EXPECT_EQ(TakeMessages(),
              (Lines{"[FMT0008] Too many user-defined symbols", "[FMT0008] Too many user-defined symbols"}));
    EXPECT_EQ(FindSymbol(140), nullptr);
}

TEST_F(Symbols, PadSymbolCutsOrFillsToExactlyN) {
    struct Row {
        const char* value;
        const char* padded;
    };
    const Row rows[] = {{"R1", "R1    "}, {"U12345", "U12345"}, {"CONN1234", "CONN12"}, {"", "      "}};
    int s = RegisterSymbol("ReferenceStr");
    for (const Row& row : rows) {
        AssignText(s, row.value);
        EXPECT_EQ(PadSymbol(s, 6), 1) << row.value;
        EXPECT_EQ(Value(s), row.padded) << row.value;
    }
    EXPECT_EQ(PadSymbol(s, 0), 1);
    EXPECT_EQ(Value(s), "");
    EXPECT_EQ(PadSymbol(V::NetName, 6), 0);
    EXPECT_EQ(PadSymbol(s, -1), 0);
}

TEST_F(Symbols, BuffersGrowInStepsOfEightAndNeverShrink) {
    int s = RegisterSymbol("Text");
    const UserSymbol* entry = FindSymbol(s);
    EXPECT_EQ(entry->capacity, 0);
    EXPECT_EQ(entry->value, EmptyText);
    AssignText(s, "abc");
    EXPECT_EQ(entry->capacity, 8);
    AssignText(s, "1234567");
    EXPECT_EQ(entry->capacity, 8);
    AssignText(s, "12345678");
    EXPECT_EQ(entry->capacity, 16);
    AssignText(s, "");
    EXPECT_EQ(entry->capacity, 16);
    EXPECT_EQ(Value(s), "");
    EXPECT_EQ(AssignText(V::NetName, "x"), 0);
    EXPECT_EQ(AssignText(140, "x"), 0);
}

TEST_F(Symbols, TextsBeyondTheSixteenBitCapacityAreRefused) {
    int s = RegisterSymbol("Text");
    AssignText(s, "kept");
    std::string longest(SymbolTextLimit - 1, 'a');
    EXPECT_EQ(PadSymbol(s, SymbolTextLimit), 0);
    EXPECT_EQ(AssignText(s, (longest + "b").c_str()), 0);
    EXPECT_EQ(Value(s), "kept");
    EXPECT_EQ(AssignText(s, longest.c_str()), 1);
    EXPECT_EQ(FindSymbol(s)->capacity, SymbolTextLimit);
    EXPECT_EQ(PadSymbol(s, INT32_MAX), 0);
    EXPECT_EQ(VariableLength(s), SymbolTextLimit - 1);
}

TEST_F(Symbols, AllocationFailureLeavesTheSymbolAsItWas) {
    int s = RegisterSymbol("Text");
    AssignText(s, "old");
    SetAllocationFailure(0);
    EXPECT_EQ(AssignText(s, "a much longer text"), 0);
    EXPECT_EQ(Value(s), "old");
    EXPECT_EQ(SymbolMemoryFailed(), 1);
    SetAllocationFailure(0);
    EXPECT_EQ(RegisterSymbol("Other"), 0);
    EXPECT_EQ(FindSymbol(s + 1), nullptr);
    SetAllocationFailure(-1);
    EXPECT_EQ(RegisterSymbol("Other"), s + 1);
    ReleaseSymbols();
    EXPECT_EQ(SymbolMemoryFailed(), 0);
}

TEST_F(Symbols, TimestampPrintsAndCopiesEightCharactersButMeasuresAll) {
    Property timestamp = {nullptr, "timestamp", "20240131123456"};
    CurrentPart.properties = &timestamp;
    EXPECT_EQ(Printed(V::PartTimestamp), "20240131");
    int s = RegisterSymbol("Stamp");
    EXPECT_EQ(CopyToSymbol(V::PartTimestamp, s), 1);
    EXPECT_EQ(Value(s), "20240131");
    EXPECT_EQ(VariableLength(V::PartTimestamp), 14);
    EXPECT_STREQ(VariableText(V::PartTimestamp), "20240131123456");
    EXPECT_EQ(CompareVariables(V::PartTimestamp, s), 1);  // the whole text is compared
    timestamp.value = "1234";
    EXPECT_EQ(Printed(V::PartTimestamp), "1234");
}

TEST_F(Symbols, LegalityNeedsASetAndASymbol) {
    int empty = RegisterSymbol("Empty");
    int name = Register("Name", "GND");
    EXPECT_EQ(IsLegalSymbol(empty), 0);
    EXPECT_EQ(IsLegalSymbol(name), 0);
    SetLegalCharacters("DGN");
    EXPECT_EQ(IsLegalSymbol(empty), 1);
    EXPECT_EQ(IsLegalSymbol(name), 1);
    AssignText(name, "GND ");
    EXPECT_EQ(IsLegalSymbol(name), 0);
    AssignText(name, "G\xC3N");
    EXPECT_EQ(IsLegalSymbol(name), 0);
    EXPECT_EQ(IsLegalSymbol(V::NetName), 0);
    EXPECT_EQ(IsLegalSymbol(150), 0);
    SetLegalCharacters("");
    EXPECT_EQ(IsLegalSymbol(empty), 0);
}

TEST_F(Symbols, LegalSetOfAnyLengthIsHeldWhole) {
    std::string set(400, 'a');
    set += "Z";
    SetLegalCharacters(set.c_str());
    EXPECT_EQ(IsLegalSymbol(Register("Name", "aZa")), 1);
    ReleaseSymbols();
    // The set outlives the run's release; the next run's program sets it again.
    EXPECT_EQ(IsLegalSymbol(Register("Name", "Za")), 1);
}

TEST_F(Symbols, ComparisonsOfTexts) {
    int a = Register("A", "abc");
    int b = Register("B", "abd");
    int prefix = Register("Prefix", "ab");
    int empty = RegisterSymbol("Empty");
    int empty2 = RegisterSymbol("Empty2");
    int high = Register("High", "\xE9");
    struct Row {
        int a;
        int b;
        int order;
    };
    const Row rows[] = {
        {a, V::One, 1},          {V::One, a, 1},     {a, b, -1},        {b, a, 1},
        {prefix, a, -1},         {a, prefix, 1},     {empty, empty2, 0}, {a, a, 0},
        {high, a, 1},            {a, 50, 1},         {V::Reserved21, empty, 0},
        {V::LetterA, V::LetterA, 1},
    };
    for (const Row& row : rows) EXPECT_EQ(CompareVariables(row.a, row.b), row.order) << row.a << " vs " << row.b;
}

TEST_F(Symbols, CopyToSymbol) {
    int s = Register("ReferenceStr", "R1");
    int t = Register("Target", "old");
    EXPECT_EQ(CopyToSymbol(s, s), 1);
    EXPECT_EQ(Value(s), "R1");
    EXPECT_EQ(CopyToSymbol(s, t), 1);
    EXPECT_EQ(Value(t), "R1");
    EXPECT_EQ(CopyToSymbol(V::LetterA, t), 1);  // a character is not copied
    EXPECT_EQ(Value(t), "R1");
    EXPECT_EQ(CopyToSymbol(V::One, V::NetName), 0);
    EXPECT_EQ(CopyToSymbol(50, t), 0);
    EXPECT_EQ(CopyToSymbol(t + 1, t), 0);
    EXPECT_EQ(Value(t), "R1");
    SetIntegerWidth(3);
    EXPECT_EQ(CopyToSymbol(V::One, t), 1);
    EXPECT_EQ(Value(t), "001");
    EXPECT_EQ(CopyToSymbol(V::Reserved21, t), 1);
    EXPECT_EQ(Value(t), "");
}

TEST_F(Symbols, PrintingNeitherKindWritesNothing) {
    for (int index : {50, -1, 41, 99, 102, 140}) {
        ClearMessageLine();
        EXPECT_EQ(PrintVariable(MessageChannel, index), 0) << index;
        EndLine(MessageChannel);
        EXPECT_EQ(TakeMessages(), Lines{""}) << index;
        EXPECT_EQ(VariableLength(index), 0) << index;
        EXPECT_EQ(IntegerValue(index), 0) << index;
        EXPECT_STREQ(VariableText(index), "") << index;
    }
    int s = Register("Name", "GND");
    EXPECT_EQ(Printed(s), "GND");
}

TEST_F(Symbols, NothingCurrentYieldsEmptyValues) {
    // Before the driver made anything current, and after the release: the
    // numbers print as 0 (but One and the letter A, which are constants),
    // and every text, the design header's included, prints empty.
    const std::map<int, std::string> notEmpty = {
        {V::Reserved6, "0"}, {V::NetNumber, "0"}, {V::NetLocalNumber, "0"},
        {V::One, "1"},       {V::LetterA, "A"},   {V::PartCounter, "0"},
    };
    for (int index = 0; index < VariableCount; index++) {
        auto expected = notEmpty.find(index);
        EXPECT_EQ(Printed(index), expected != notEmpty.end() ? expected->second : "") << "index " << index;
        ASSERT_NE(VariableText(index), nullptr) << index;
        if (index != V::LetterA && index != V::One) {
            EXPECT_EQ(IntegerValue(index), 0) << index;
        }
    }
}

TEST_F(Symbols, VariablesReadTheCurrentRecords) {
    AddTestComponent("RES", {"1", "2"});
    Design.components[0]->sourcelib = CopyText("DISCRETE.OLB");
    PartInstance* part = AddTestPart("R1", 0, "10K");
    AddTestProperty(part->properties, "1ST PART FIELD", "one");
    AddTestProperty(part->properties, "8TH PART FIELD", "eight");
    AddTestProperty(part->properties, "8TH PART FIELD", "later");
    Net* net = AddTestNet("CLK");
    net->nettype = static_cast<char>(0xC8);
    net->netdir = 2;
    NetPin* pin = ConnectTest("R1", "2");
    pin->libpin->pinname = CopyText("B");
    pin->libpin->pintype = -48;
    CurrentNet = *net;
    CurrentNetPin = *pin;
    CurrentPart = *part;
    Header.title = CopyText("Board");
    Header.address4 = CopyText("Street");

    EXPECT_STREQ(VariableText(V::NetName), "CLK");
    EXPECT_EQ(IntegerValue(V::NetDirection), 2);
    EXPECT_EQ(IntegerValue(V::NetDirectionAlias), 2);
    EXPECT_EQ(IntegerValue(V::NetType), -56);
    EXPECT_EQ(IntegerValue(V::NetTypeAlias), -56);
    EXPECT_EQ(Printed(V::NetType), "\xC8");
    EXPECT_STREQ(VariableText(V::PartReference), "R1");
    EXPECT_STREQ(VariableText(V::PinNumber), "2");
    EXPECT_STREQ(VariableText(V::PinName), "B");
    EXPECT_EQ(IntegerValue(V::PinType), -48);
    EXPECT_EQ(Printed(V::PinType), "\xD0");
    EXPECT_STREQ(VariableText(V::PartValue), "10K");
    EXPECT_STREQ(VariableText(V::PartField1), "one");
    EXPECT_STREQ(VariableText(V::PartField2), "");
    EXPECT_STREQ(VariableText(V::PartField8), "eight");
    EXPECT_STREQ(VariableText(V::SourceLibrary), "DISCRETE.OLB");
    EXPECT_STREQ(VariableText(V::ComponentName), "RES");
    EXPECT_STREQ(VariableText(V::DesignTitle), "Board");
    EXPECT_STREQ(VariableText(V::DesignAddress4), "Street");
    EXPECT_STREQ(VariableText(V::DesignDate), "");
    EXPECT_EQ(VariableType(V::DesignTitle), DesignTextType);
    EXPECT_EQ(IntegerValue(V::One), 1);
}

TEST_F(Symbols, FootprintFallsBackToTheValue) {
    PartInstance part = {"R1", "10K", nullptr, nullptr, 0, 0, nullptr, 0, 0};
    Property footprint = {nullptr, "PCB Footprint", "0805"};
    CurrentPart = part;
    EXPECT_STREQ(VariableText(V::PartFootprint), "10K");  // no template
    ParseCombineTemplate("{PCB Footprint}", &FootprintCombine);
    EXPECT_STREQ(VariableText(V::PartFootprint), "10K");  // expands to ""
    CurrentPart.properties = &footprint;
    EXPECT_STREQ(VariableText(V::PartFootprint), "0805");
    EXPECT_EQ(VariableLength(V::PartFootprint), 4);
}

TEST_F(Symbols, NetPropertyIsAssignedOrEmptied) {
    Property width = {nullptr, "tracewidth", "20"};
    CurrentNet.properties = &width;
    int s = Register("TraceWidth", "old");
    EXPECT_EQ(AssignNetProperty("tracewidth", s), 1);
    EXPECT_EQ(Value(s), "20");
    EXPECT_EQ(AssignNetProperty("TraceWidth", s), 1);
    EXPECT_EQ(Value(s), "");
    EXPECT_EQ(AssignNetProperty("tracewidth", V::NetName), 1);
}

TEST_F(Symbols, LocalSignalJoinsNameTextAndLocalNumber) {
    CurrentNet.name = "CLK";
    SetIntegerWidth(3);
    EXPECT_EQ(BuildLocalSignal("_L"), 0);
    EXPECT_EQ(Value(LocalSignalSymbol), "CLK_L000");
    CurrentNet.localnumber = -4;
    EXPECT_EQ(BuildLocalSignal(FindSymbol(LocalSignalSymbol)->value), 0);
    EXPECT_EQ(Value(LocalSignalSymbol), "CLKCLK_L0000-4");
}

// Texts are printed and copied as they stand, never through a fixed area.
TEST_F(Symbols, LongTextsArePrintedAndCopiedWhole) {
    std::string title(600, 't');
    Header.title = CopyText(title.c_str());
    EXPECT_EQ(Printed(V::DesignTitle), title);
    int s = RegisterSymbol("Copy");
    EXPECT_EQ(CopyToSymbol(V::DesignTitle, s), 1);
    EXPECT_EQ(Value(s), title);
    EXPECT_EQ(CompareVariables(s, V::DesignTitle), 0);
    std::string name(300, 'n');
    CurrentNet.name = name.c_str();
    BuildLocalSignal(title.c_str());
    EXPECT_EQ(Value(LocalSignalSymbol), name + title + "0");
    // A symbol may take a piece of its own value.
    EXPECT_EQ(AssignText(s, FindSymbol(s)->value + 590), 1);
    EXPECT_EQ(Value(s), "tttttttttt");
}

TEST_F(Symbols, ReleaseReturnsToThePresetSymbols) {
    Register("Error", "E");
    AssignText(ExitTypeSymbol, "W");
    SetIntegerWidth(5);
    ReleaseSymbols();
    EXPECT_EQ(FindSymbol(102), nullptr);
    EXPECT_EQ(FindSymbol(ExitTypeSymbol)->value, EmptyText);
    EXPECT_EQ(FindSymbol(ExitTypeSymbol)->capacity, 0);
    EXPECT_EQ(FindSymbol(LocalSignalSymbol)->name, std::string("LocalSignal"));
    EXPECT_EQ(Printed(V::One), "1");
}

}  // namespace
