// The layout netlist format program over designs built in memory; the
// golden cases run it over intermediate files through the export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "design_builder.h"
#include "formats/layout.h"
#include "host/run.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "reader/templates.h"
#include "runtime/channels.h"
#include "runtime/driver.h"
#include "runtime/symbols.h"
#include "support.h"

namespace {

using Lines = std::vector<std::string>;

class Layout : public ConnectedTest {
protected:
    // Runs PROGRAM with the output and temporary files open, as the export
    // does, with FAILURE's allocation failing when given; gives the result
    // and leaves the netlist in Netlist.
    int Run(const FormatProgram& program = LayoutProgram, bool temporary = true,
            AllocationFailurePoint* failure = nullptr) {
        EXPECT_EQ(OpenChannelFile(FirstOutputChannel, "out.asc"), 1);
        if (temporary) {
            EXPECT_EQ(OpenChannelFile(TemporaryChannel, "ZEDID.TMP"), 1);
        }
        if (failure != nullptr) failure->Arm();
        int result = RunFormatProgram(program, "");
        if (failure != nullptr) failure->Disarm();
        CloseChannelFiles();
        ReleaseChannelNames();
        Netlist = ReadBytes("out.asc");
        return result;
    }

    // The worked example: C1, CONN123, R1 and U1; GND, VCC with a trace
    // width, and a net of type letter U.
    static void WorkedExample() {
        ParseCombineTemplate("{PCB Footprint}", &FootprintCombine);
        int32_t cap = AddTestComponent("CAP_NP", {"1", "2"});
        int32_t header = AddTestComponent("HEADER_2", {"1", "2"});
        int32_t resistor = AddTestComponent("RESISTOR", {"1", "2"});
        int32_t chip = AddTestComponent("74HC00", {"1", "7", "14"});
        AddTestProperty(AddTestPart("C1", cap, "100nF")->properties, "PCB Footprint", "0805");
        AddTestProperty(AddTestPart("CONN123", header, "HEADER 2")->properties, "PCB Footprint", "HDR2");
        AddTestPart("R1", resistor, "10K");
        AddTestProperty(AddTestPart("U1", chip, "74HC00")->properties, "PCB Footprint", "SO14");
        SortTestParts();
        AddTestNet("GND");
        ConnectTest("U1", "7");
        ConnectTest("C1", "2");
        ConnectTest("CONN123", "2");
        AddTestProperty(AddTestNet("VCC")->properties, "tracewidth", "20");
        ConnectTest("U1", "14");
        ConnectTest("C1", "1");
        ConnectTest("R1", "1");
        ConnectTest("CONN123", "1");
        AddTestNet("N00012")->nettype = 'U';
        ConnectTest("R1", "2");
        ConnectTest("U1", "1");
    }

    // One part and one net with the given names.
    static void OnePartOneNet(const char* reference, const char* net) {
        AddTestComponent("RES", {"1"});
        AddTestPart(reference, 0);
        AddTestNet(net);
        ConnectTest(reference, "1");
    }

    std::string Netlist;
};

const char WorkedNetlist[] =
    "!PADS-POWERPCB-V3.0-MILS! DESIGN DATABASE ASCII FILE 1.0\r\n"
    "*PART*\r\n"
    "C1     0805\r\n"
    "CONN12 HDR2\r\n"
    "R1     10K\r\n"
    "U1     SO14\r\n"
    "\r\n"
    "*NET*\r\n"
    "*SIGNAL* GND\r\n"
    "U1.7 C1.2 CONN12.2\r\n"
    "*SIGNAL* X00003\r\n"
    "R1.2 U1.1\r\n"
    "*SIGNAL* VCC 20\r\n"
    "U1.14 C1.1 R1.1 CONN12.1\r\n"
    "*END*\r\n";

TEST_F(Layout, WorkedExample) {
    WorkedExample();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Netlist, WorkedNetlist);
    EXPECT_EQ(TakeMessages(), (Lines{"Creating Netlist...",
                                     "WARNING: Reference is too long 'CONN123', truncated to CONN12", "Done"}));
}

TEST_F(Layout, RegistersItsFourSymbolsAfterThePresetOnes) {
    WorkedExample();
    Run();
    const char* names[] = {"Error", "ReferenceStr", "SignalNameStr", "TraceWidth"};
    for (int i = 0; i < 4; i++) {
        const UserSymbol* entry = FindSymbol(102 + i);
        ASSERT_NE(entry, nullptr) << names[i];
        EXPECT_STREQ(entry->name, names[i]);
    }
    EXPECT_STREQ(FindSymbol(102)->value, "E");
    EXPECT_EQ(FindSymbol(106), nullptr);
}

// A status of errors survives net-name warnings but not reference warnings,
// which set "W" whatever the status was.
TEST_F(Layout, NetNameWarningsLeaveAnErrorStatus) {
    struct Row {
        const char* reference;
        const char* net;
        int result;
    };
    const std::string longname(NetNameLimit + 1, 'N');
    const Row rows[] = {{"R1", "GND", 2}, {"R1", "BAD NET", 2}, {"R1", longname.c_str(), 2},
                        {"R 1", "GND", 1}, {"R1234567", "GND", 1}};
    FormatProgram program = LayoutProgram;
    program.init = [] {
        LayoutProgram.init();
        AssignText(ExitTypeSymbol, "E");
        return 0;
    };
    for (const Row& row : rows) {
        OnePartOneNet(row.reference, row.net);
        EXPECT_EQ(Run(program), row.result) << row.reference << " / " << row.net;
        ReleaseRun();
    }
}

TEST_F(Layout, TemporaryFileThatCannotBeAppendedIsAnError) {
    OnePartOneNet("R1", "GND");
    EXPECT_EQ(Run(LayoutProgram, false), 2);
    EXPECT_EQ(TakeMessages(),
              (Lines{"Creating Netlist...",
                     "[FMT0009] Internal error -- one or other file for concatentate not open", "Done"}));
    EXPECT_NE(Netlist.find("*SIGNAL* GND\r\nR1.1\r\n*END*\r\n"), std::string::npos) << Netlist;
}

// Whichever allocation fails, the run either reports errors or writes
// exactly the netlist it writes with memory to spare.
TEST_F(Layout, EveryFailedAllocationEndsInErrorsOrTheRightNetlist) {
    long made = SweepAllocationFailures(
        [this](AllocationFailurePoint& point) {
            WorkedExample();
            int result = Run(LayoutProgram, true, &point);
            if (result != 2 || !point.Hit()) {
                EXPECT_EQ(result, 1) << "allocation " << point.Failing();
                EXPECT_EQ(Netlist, WorkedNetlist) << "allocation " << point.Failing();
            }
            ReleaseRun();
        },
        10000);
    EXPECT_GT(made, 0);
}

}  // namespace
