// Control bytes in the design's data never reach the netlist: each is
// written as '?', and a warning names the part or net it was found in. The
// tabs and line feeds of a combine template's own escapes stay.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support.h"
#include "zedid.h"

namespace {

using Lines = std::vector<std::string>;

class Injection : public LibraryTest {};

// The worked example with each FROM replaced by its TO.
std::string Edited(const std::vector<std::pair<std::string, std::string>>& edits) {
    std::string text = ReadBytes(ZEDID_EXAMPLES "/worked.ONL");
    for (const auto& edit : edits) {
        std::size_t at = text.find(edit.first);
        EXPECT_NE(at, std::string::npos) << edit.first;
        if (at != std::string::npos) text.replace(at, edit.first.size(), edit.second);
    }
    return text;
}

const std::string Templates =
    "(partvaluecombine \"{Value}\")\n    (pcbfootprintcombine \"{PCB Footprint}\")";

const std::string Head = "!PADS-POWERPCB-V3.0-MILS! DESIGN DATABASE ASCII FILE 1.0\r\n*PART*\r\n";
const std::string Parts = "C1     0805\r\nCONN12 HDR2\r\nR1     10K\r\nU1     SO14\r\n";
const std::string Nets =
    "\r\n*NET*\r\n*SIGNAL* GND\r\nU1.7 C1.2 CONN12.2\r\n*SIGNAL* X00003\r\nR1.2 U1.1\r\n*SIGNAL* VCC 20\r\n"
    "U1.14 C1.1 R1.1 CONN12.1\r\n*END*\r\n";
const std::string Summary = "4 Parts, 4 Library Parts, 3 Nets, 9 Pins\n";
const std::string TooLong = "WARNING: Reference is too long 'CONN123', truncated to CONN12";

std::string InPart(const std::string& name) { return "WARNING: Control characters replaced by '?' in part '" + name + "'"; }
std::string InNet(const std::string& name) { return "WARNING: Control characters replaced by '?' in net '" + name + "'"; }

// Replaces the first FROM in TEXT by TO.
std::string With(std::string text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST_F(Injection, ControlBytesOfTheDesignAreReplacedAndNamed) {
    struct Row {
        const char* what;
        std::vector<std::pair<std::string, std::string>> edits;
        std::string netlist;
        Lines warnings;  // after the reference warning of CONN123, before "Done"
    };
    const std::string noFootprints = "(partvaluecombine \"{Value}\")";
    // R1 without a value of its own, its component named NAME (at a line's end).
    auto asComponentName = [](const std::string& name) {
        return std::vector<std::pair<std::string, std::string>>{
            {"(place R1 (property (\"Value\" \"10K\")))", "(place R1)"},
            {"RESISTOR\n", name + "\n"},
            {"RESISTOR\n", name + "\n"}};
    };
    const Row rows[] = {
        {"a carriage return in a part value",
         {{Templates, noFootprints}, {"\"10K\"", "\"10\rK\""}},
         Head + "C1     100nF\r\nCONN12 HEADER 2\r\nR1     10?K\r\nU1     74HC00\r\n" + Nets,
         {InPart("R1")}},
        // An unclosed quote keeps its line feed: once a blank line and a
        // fake "*END*" inside "*PART*".
        {"a line feed from an unclosed quote, then a fake *END*",
         {{Templates, "(partvaluecombine \"{A}{B}\")"},
          {"(place R1 (property (\"Value\" \"10K\")))", "(place R1 (property (\"A\" \"10K\n) (\"B\" \"*END*\")))"}},
         Head + "C1     \r\nCONN12 \r\nR1     10K?*END*\r\nU1     \r\n" + Nets,
         {InPart("R1")}},
        {"an escape sequence in a footprint",
         {{"\"SO14\"", "\"SO14\x1b]0;owned\x07\""}},
         Head + With(Parts, "SO14", "SO14?]0;owned?") + Nets,
         {InPart("U1")}},
        {"a control byte in the template's own text",
         {{"{PCB Footprint}", "{PCB Footprint}\x7f"}},
         Head + "C1     0805?\r\nCONN12 HDR2?\r\nR1     ?\r\nU1     SO14?\r\n" + Nets,
         {InPart("C1"), InPart("CONN123"), InPart("R1"), InPart("U1")}},
        {"a component name as the value", asComponentName("RES\rISTOR"), Head + With(Parts, "10K", "RES?ISTOR") + Nets,
         {InPart("R1")}},
        {"a line feed from an unclosed quote in a component name as the value", asComponentName("\"RES"),
         Head + With(Parts, "10K", "RES?") + Nets, {InPart("R1")}},
        {"an escaped tab in a component name as the value", asComponentName("RES\\\tISTOR"),
         Head + With(Parts, "10K", "RES?ISTOR") + Nets, {InPart("R1")}},
        // What the cut of the value drops was never written.
        {"a control byte of the template that the cut drops",
         {{"(partvaluecombine \"{Value}\")", "(partvaluecombine \"{Value}x\x01\")"},
          {"\"10K\"", "\"" + std::string(254, 'v') + "\""}},
         Head + With(Parts, "10K", std::string(254, 'v') + "x") + Nets,
         {}},
        {"a trace width that would clear the screen",
         {{"(tracewidth \"20\")", "(tracewidth \"20\r\x1b[2J\")"}},
         Head + Parts + With(Nets, "VCC 20", "VCC 20??[2J"),
         {InNet("VCC")}},
        {"a pin number",
         {{"(pin 3 14 ", "(pin 3 1\x01" "4 "}, {"U1-14", "U1-1\x01" "4"}},
         Head + Parts + With(Nets, "U1.14", "U1.1?4"),
         {InNet("VCC")}},
        {"a delete in a pin number",
         {{"(pin 3 14 ", "(pin 3 1\x7f" "4 "}, {"U1-14", "U1-1\x7f" "4"}},
         Head + Parts + With(Nets, "U1.14", "U1.1?4"),
         {InNet("VCC")}},
        {"an escaped tab in a pin number",
         {{"(pin 3 14 ", "(pin 3 1\\\t4 "}, {"U1-14", "U1-1\\\t4"}},
         Head + Parts + With(Nets, "U1.14", "U1.1?4"),
         {InNet("VCC")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(FormatDesign(Edited(row.edits)), ZEDID_RESULT_WARNINGS);
        EXPECT_EQ(ReadBytes("design.asc"), row.netlist);
        Lines expected{Summary, "Creating Netlist..."};
        if (row.warnings.size() == 4) {
            // Warnings come part by part.
            expected.insert(expected.end(), {row.warnings[0], TooLong, row.warnings[1], row.warnings[2], row.warnings[3]});
        } else {
            expected.push_back(TooLong);
            expected.insert(expected.end(), row.warnings.begin(), row.warnings.end());
        }
        expected.push_back("Done");
        EXPECT_EQ(TakeMessages(), expected);
    }
}

TEST_F(Injection, ReferenceIsReplacedInItsPartLineAndEveryPinItem) {
    struct Row {
        std::string written;    // in the file, after the R
        std::string reference;  // as read
    } rows[] = {{"\r", "R\r1"}, {"\x7f", "R\x7f" "1"}, {"\\\t", "R\t1"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reference);
        std::string r = "R" + row.written + "1";
        EXPECT_EQ(FormatDesign(Edited({{"R1 (property", r + " (property"}, {"R1-1", r + "-1"}, {"R1-2", r + "-2"}})),
                  ZEDID_RESULT_WARNINGS);
        EXPECT_EQ(ReadBytes("design.asc"), Head + With(Parts, "R1    ", "R?1   ") +
                                               With(With(Nets, "R1.2", "R?1.2"), "R1.1", "R?1.1"));
        EXPECT_EQ(TakeMessages(),
                  (Lines{Summary, "Creating Netlist...", TooLong,
                         "WARNING: Reference contains illegal characters '" + row.reference + "'", InPart(row.reference),
                         "Done"}));
    }
}

TEST_F(Injection, NetNamesKeepTheirRepairWithoutAnotherWarning) {
    EXPECT_EQ(FormatDesign(Edited({{"(net GND", "(net G\rND"}})), ZEDID_RESULT_WARNINGS);
    EXPECT_EQ(ReadBytes("design.asc"), Head + Parts + With(Nets, "*SIGNAL* GND", "*SIGNAL* X00001"));
    EXPECT_EQ(TakeMessages(), (Lines{Summary, "Creating Netlist...", TooLong,
                                     "WARNING: Name contains illegal characters 'G\rND', changed to X00001", "Done"}));
}

TEST_F(Injection, TemplateEscapesKeepTheirTabsAndLineFeeds) {
    // The template author's own breaks are written as today, and warn of
    // nothing; a property's tab next to them is still replaced.
    EXPECT_EQ(FormatDesign(Edited({{"{PCB Footprint}", "{PCB Footprint}\\\\t\\\\n"}})), ZEDID_RESULT_WARNINGS);
    EXPECT_EQ(ReadBytes("design.asc"),
              Head + "C1     0805\t\r\n\r\nCONN12 HDR2\t\r\n\r\nR1     \t\r\n\r\nU1     SO14\t\r\n\r\n" + Nets);
    EXPECT_EQ(TakeMessages(), (Lines{Summary, "Creating Netlist...", TooLong, "Done"}));

    EXPECT_EQ(FormatDesign(Edited({{"{PCB Footprint}", "{PCB Footprint}\\\\t"}, {"\"0805\"", "\"08\t05\""}})),
              ZEDID_RESULT_WARNINGS);
    EXPECT_EQ(ReadBytes("design.asc"), Head + "C1     08?05\t\r\nCONN12 HDR2\t\r\nR1     \t\r\nU1     SO14\t\r\n" + Nets);
    EXPECT_EQ(TakeMessages(), (Lines{Summary, "Creating Netlist...", InPart("C1"), TooLong, "Done"}));
}

}  // namespace
