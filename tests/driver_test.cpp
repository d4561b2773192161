// The generation driver: hook order, current records, counters, the reset
// at every run start and the result from ExitType.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "design_builder.h"
#include "host/run.h"
#include "platform/platform.h"
#include "runtime/driver.h"
#include "runtime/driver_testing.h"
#include "runtime/symbols.h"
#include "support.h"

namespace {

namespace V = BuiltinVariable;
using Lines = std::vector<std::string>;

// The base path a host hands over with the program.
constexpr char BasePath[] = "boards/main";

// What the recording program saw, one line per hook call.
Lines Seen;
// The text the end hook leaves in ExitType; null leaves it alone.
const char* FinalExitType = nullptr;

std::string Text(int index) { return VariableText(index); }
std::string Number(int index) { return std::to_string(IntegerValue(index)); }

int RecordInit() {
    Seen.push_back("init net " + Number(V::NetNumber) + " symbols " + std::to_string(RegisterSymbol("Mine")) +
                   " exit '" + FindSymbol(ExitTypeSymbol)->value + "'");
    return 0;
}
int RecordHeader() {
    std::string walk = "header";
    ResetPartWalk();
    while (NextPart()) walk += " " + Text(V::PartReference) + "#" + Number(V::PartCounter);
    walk += " end#" + Number(V::PartCounter);
    NextPart();
    walk += " again#" + Number(V::PartCounter);
    Seen.push_back(walk);
    return 0;
}
int RecordNet() {
    Seen.push_back("net " + Text(V::NetName) + " " + Number(V::NetNumber));
    return 0;
}
int RecordPin() {
    Seen.push_back("pin " + Text(V::PartReference) + "." + Text(V::PinNumber) + " on " + Text(V::NetName));
    return 0;
}
int RecordNetEnd() {
    Seen.push_back("netend " + Text(V::NetName));
    return 0;
}
int RecordEnd() {
    Seen.push_back("end net " + Number(V::NetNumber) + " " + Text(V::NetName));
    if (FinalExitType != nullptr) AssignText(ExitTypeSymbol, FinalExitType);
    return 0;
}

constexpr FormatProgram Recorder = {RecordInit, RecordHeader, RecordNet, RecordPin, RecordNetEnd, RecordEnd};

class Driver : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        Seen.clear();
        FinalExitType = nullptr;
    }

    // Three parts, a net across all of them, a net without connections.
    static void SmallDesign() {
        int32_t chip = AddTestComponent("74HC00", {"1", "7", "14"});
        int32_t resistor = AddTestComponent("RES", {"1", "2"});
        AddTestPart("U1", chip);
        AddTestPart("R2", resistor);
        AddTestPart("R10", resistor);
        SortTestParts();
        AddTestNet("GND");
        ConnectTest("U1", "7");
        ConnectTest("R2", "1");
        ConnectTest("U1", "1");
        ConnectTest("R10", "2");
        AddTestNet("NC");
    }
};

TEST_F(Driver, HooksRunInOrderWithTheirRecordsCurrent) {
    SmallDesign();
    EXPECT_EQ(RunFormatProgram(Recorder, BasePath), 0);
    EXPECT_EQ(Seen, (Lines{
                        "init net 0 symbols 102 exit ''",
                        "header R10#1 R2#2 U1#3 end#4 again#5",
                        "net GND 1",
                        "pin U1.7 on GND",
                        "pin R2.1 on GND",
                        "pin U1.1 on GND",
                        "pin R10.2 on GND",
                        "netend GND",
                        "net NC 2",
                        "netend NC",
                        "end net 2 NC",
                    }));
    // The part walk leaves the net records alone; the last pass stays current.
    EXPECT_STREQ(CurrentNet.name, "NC");
    EXPECT_STREQ(CurrentPart.reference, "R10");
}

TEST_F(Driver, PartWalkMovesOnePastTheEndPerCall) {
    SmallDesign();
    CurrentNet = *Design.nets[1];
    EXPECT_EQ(ResetPartWalk(), 0);
    EXPECT_EQ(CurrentPartCounter(), 0);
    for (int k = 1; k <= 3; k++) {
        EXPECT_EQ(NextPart(), 1);
        EXPECT_EQ(CurrentPartCounter(), k);
    }
    EXPECT_EQ(NextPart(), 0);
    EXPECT_EQ(CurrentPartCounter(), 4);
    EXPECT_STREQ(CurrentPart.reference, "U1");
    EXPECT_EQ(NextPart(), 0);
    EXPECT_EQ(CurrentPartCounter(), 5);
    EXPECT_STREQ(CurrentNet.name, "NC");
    ResetPartWalk();
    EXPECT_EQ(NextPart(), 1);
    EXPECT_STREQ(CurrentPart.reference, "R10");
}

TEST_F(Driver, ResultComesFromTheFirstCharacterOfExitType) {
    struct Row {
        const char* exittype;
        int result;
    };
    const Row rows[] = {{"W", 1}, {"E", 2}, {"", 0}, {"Warnings", 1}, {"Errors", 2}, {"w", 0}, {"X", 0}};
    for (const Row& row : rows) {
        SmallDesign();
        FinalExitType = row.exittype;
        EXPECT_EQ(RunFormatProgram(Recorder, BasePath), row.result) << "ExitType '" << row.exittype << "'";
        ReleaseRun();
    }
}

TEST_F(Driver, EveryRunStartsFromTheSameState) {
    SmallDesign();
    FinalExitType = "W";
    EXPECT_EQ(RunFormatProgram(Recorder, BasePath), 1);
    AssignText(RegisterSymbol("Extra"), "left over");
    SetIntegerWidth(5);
    // Even without the release between the runs, nothing carries over.
    FinalExitType = nullptr;
    Seen.clear();
    EXPECT_EQ(RunFormatProgram(Recorder, BasePath), 0);
    ASSERT_FALSE(Seen.empty());
    EXPECT_EQ(Seen[0], "init net 0 symbols 102 exit ''");
    EXPECT_EQ(FindSymbol(103), nullptr);
    EXPECT_STREQ(VariableText(V::Reserved20), "");
}

TEST_F(Driver, ReleaseForgetsTheCurrentRecords) {
    SmallDesign();
    RunFormatProgram(Recorder, BasePath);
    ReleaseRun();
    EXPECT_EQ(CurrentNet.name, nullptr);
    EXPECT_EQ(CurrentNetPin.libpin, nullptr);
    EXPECT_EQ(CurrentPart.reference, nullptr);
    EXPECT_EQ(CurrentNetNumber(), 0);
    EXPECT_EQ(CurrentPartCounter(), 0);
    EXPECT_STREQ(VariableText(V::NetName), "");
    EXPECT_STREQ(VariableText(V::PinNumber), "");
}

TEST_F(Driver, NetNumberIsCopiedAtTheCurrentWidth) {
    SmallDesign();
    static int copied = 0;
    FormatProgram program = {};
    program.init = [] {
        copied = RegisterSymbol("Number");
        SetIntegerWidth(3);
        return 0;
    };
    program.netend = [] {
        CopyToSymbol(V::NetNumber, copied);
        Seen.push_back(FindSymbol(copied)->value);
        return 0;
    };
    RunFormatProgram(program, BasePath);
    EXPECT_EQ(Seen, (Lines{"001", "002"}));
}

TEST_F(Driver, Reserved20WithoutMemoryStillReadsEmpty) {
    SmallDesign();
    SetAllocationFailure(0);  // the run's first allocation is variable 20's text
    EXPECT_EQ(RunFormatProgram(FormatProgram{}, BasePath), 0);
    SetAllocationFailure(-1);
    EXPECT_STREQ(VariableText(V::Reserved20), "");
    EXPECT_EQ(VariableLength(V::Reserved20), 0);
}

TEST_F(Driver, SymbolWithoutMemoryMakesTheRunAnError) {
    SmallDesign();
    FormatProgram program = Recorder;
    program.end = [] {
        SetAllocationFailure(0);
        AssignText(RegisterSymbol("Late"), "text");
        SetAllocationFailure(-1);
        return 0;
    };
    EXPECT_EQ(RunFormatProgram(program, BasePath), 2);
    ReleaseRun();
    SmallDesign();
    EXPECT_EQ(RunFormatProgram(Recorder, BasePath), 0);
}

TEST_F(Driver, DesignWithoutNetsCallsNoNetHook) {
    AddTestComponent("RES", {"1"});
    AddTestPart("R1", 0);
    EXPECT_EQ(RunFormatProgram(Recorder, BasePath), 0);
    ASSERT_EQ(Seen.size(), 3u);
    EXPECT_EQ(Seen[2], "end net 0 ");
}

TEST_F(Driver, BasePathIsTheHostsOwnForTheRun) {
    SmallDesign();
    static std::string path = "C:\\designs\\board 7";
    static const char* seen = nullptr;
    FormatProgram program = {};
    program.header = [] {
        seen = VariableText(V::DesignBasePath);
        return 0;
    };
    EXPECT_EQ(RunFormatProgram(program, path.c_str()), 0);
    // The very text the host holds, not a copy of it.
    EXPECT_EQ(seen, path.c_str());
    EXPECT_EQ(VariableLength(V::DesignBasePath), static_cast<int32_t>(path.size()));
    ReleaseRun();
    EXPECT_STREQ(VariableText(V::DesignBasePath), "");
    SmallDesign();
    EXPECT_EQ(RunFormatProgram(program, nullptr), 0);
    EXPECT_STREQ(seen, "");
}

// A pin item is staged whole: each text as PrintDesignText would write it,
// control bytes replaced and counted; a text that is not written as it
// stands, or does not fit, is left to PrintDesignText.
TEST_F(Driver, StagedTextsAreWrittenAsTheyStandOrNotAtAll) {
    char reference[] = "U\r1";
    char number[] = "A\x1b";
    LibPin pin = {};
    pin.number = number;
    CurrentPart.reference = reference;
    CurrentPart.value = reference;
    CurrentNetPin.libpin = &pin;
    int symbol = RegisterSymbol("Staged");
    AssignText(symbol, "x\ty");
    struct Row {
        int index;
        std::size_t size;
        std::string before;  // the text staged already
        int32_t result;
        std::string after;
    } rows[] = {
        {V::PartReference, 16, "", 1, "U?1"},
        {V::PinNumber, 16, "U?1.", 1, "U?1.A?"},
        {symbol, 16, " ", 1, " x?y"},
        {V::PartReference, 5, " ", 1, " U?1"},   // exactly fits with its terminator
        {V::PartReference, 4, " ", -1, " "},     // one byte short
        {V::PartReference, 3, "ab", -1, "ab"},
        {V::PartReference, 2, "ab", -1, "ab"},   // no room even for the terminator
        {V::PartValue, 16, "", -1, ""},          // composed values keep their breaks
        {V::NetNumber, 16, "", -1, ""},          // a number is not a design text
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        char text[32];
        std::memset(text, '#', sizeof text);
        std::memcpy(text, row.before.c_str(), row.before.size() + 1);
        std::size_t length = row.before.size();
        EXPECT_EQ(StageDesignText(text, row.size, &length, row.index), row.result);
        EXPECT_EQ(length, row.after.size());
        EXPECT_EQ(std::string(text), row.after);
        // Nothing is written past the given size.
        if (row.size > row.before.size()) {
            EXPECT_EQ(text[row.size], '#');
        }
    }
    CurrentPart = {};
    CurrentNetPin = {};
}

}  // namespace
