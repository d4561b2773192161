// The section parsers: structure, keywords, every section's records, the
// design checks with their exact messages, and reads that run out of memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/run.h"
#include "platform/platform.h"
#include "platform/report.h"
#include "reader/design.h"
#include "reader/design_testing.h"
#include "reader/parser.h"
#include "reader/parts.h"
#include "reader/pinorder.h"
#include "reader/tables.h"
#include "reader/templates.h"
#include "runtime/channels.h"
#include "support.h"

namespace {

using Lines = std::vector<std::string>;
using Pairs = std::vector<std::pair<std::string, std::string>>;

const std::string DuplicatePinTail =
    ". Possibly a complex hierarchy in logical view or duplicate part reference in physical view.";
const std::string DuplicateReferenceTail =
    ". Possibly a complex hierarchy in logical view, or incorrect annotation in physical view.";
const std::string ReferenceNotFound =
    "[FMT0024] Ref-des not found. Possible Logical/Physical annotation conflict.";

class Parser : public ConnectedTest {
protected:

    // Reads TEXT as an intermediate file, after releasing an earlier read.
    int Read(const std::string& text) {
        ReleaseRun();
        WriteBytes("design.ONL", text);
        TextFile* file = OpenTextFile("design.ONL", "rt");
        EXPECT_NE(file, nullptr);
        int result = ReadIntermediateFile(file);
        CloseTextFile(file);
        return result;
    }
};

PartInstance* Part(const char* reference) {
    int32_t index = FindPart(reference);
    return index < 0 ? nullptr : Design.parts[index];
}

Pairs PropertiesOf(const Property* list) {
    Pairs pairs;
    for (; list != nullptr; list = list->next) pairs.emplace_back(list->name, list->value);
    return pairs;
}

std::vector<std::string> PartPins(const PartInstance* part) {
    std::vector<std::string> pins;
    for (const NetPin* connection = part->netpins; connection != nullptr; connection = connection->nextonpart)
        pins.emplace_back(connection->libpin->number);
    return pins;
}

// The net's connections as reference-pin items, in the net's order.
std::vector<std::string> PipeTextWords() {
    std::vector<std::string> words;
    PipeTextCursor cursor = {PipeTextList, 0};
    while (const char* word = NextPipeText(&cursor)) words.emplace_back(word);
    return words;
}

std::vector<std::string> NetItems(const Net* net) {
    std::vector<std::string> items;
    for (const NetPin* connection = net->netpins; connection != nullptr; connection = connection->nextonnet)
        items.push_back(std::string(Design.parts[connection->part]->reference) + "-" + connection->libpin->number);
    return items;
}

std::vector<std::string> LibPins(const ComponentDef* component) {
    std::vector<std::string> pins;
    for (const LibPin* pin = component->libpins; pin != nullptr; pin = pin->next) pins.emplace_back(pin->number);
    return pins;
}

// Every connection lies on the list of the part it names, and on its net;
// the lists hold all COUNT of them.
void ExpectConnectionsNameTheirParts(int32_t count) {
    int32_t onparts = 0, onnets = 0;
    for (int32_t i = 0; i < Design.partcount; i++)
        for (const NetPin* connection = Design.parts[i]->netpins; connection; connection = connection->nextonpart, onparts++)
            EXPECT_EQ(connection->part, i) << Design.parts[i]->reference << "-" << connection->libpin->number;
    for (int32_t n = 0; n < Design.netcount; n++)
        for (const NetPin* connection = Design.nets[n]->netpins; connection; connection = connection->nextonnet, onnets++)
            EXPECT_EQ(connection->net, n);
    EXPECT_EQ(Design.netpincount, count);
    EXPECT_EQ(onparts, count);
    EXPECT_EQ(onnets, count);
}

// A small design that the tests vary: two components, three parts, two nets.
const char* const SmallDesign =
    "(pcb\n"
    " (description (title Board))\n"
    " (placement\n"
    "  (component 7400 (place U1) (place U2))\n"
    "  (component RES (place R3)))\n"
    " (library\n"
    "  (image 7400 (pin x 1) (pin x 2) (pin x 14))\n"
    "  (image RES (pin x 1) (pin x 2)))\n"
    " (network\n"
    "  (net VCC (pins U1-14 U2-14))\n"
    "  (net N1 (pins U1-1 R3-2 U1-2))))\n";

TEST_F(Parser, ReadsASmallDesign) {
    ASSERT_EQ(Read(SmallDesign), 1);
    EXPECT_EQ(TakeMessages(), Lines{});
    EXPECT_EQ(Design.partcount, 3);
    EXPECT_EQ(Design.componentcount, 2);
    EXPECT_EQ(Design.netcount, 2);
    EXPECT_EQ(Design.netpincount, 5);
    EXPECT_STREQ(Design.parts[0]->reference, "R3");
    EXPECT_STREQ(Design.parts[1]->reference, "U1");
    EXPECT_STREQ(Design.parts[2]->reference, "U2");
    EXPECT_STREQ(Part("U2")->value, "7400");
    EXPECT_EQ(Part("U2")->component, 0);
    EXPECT_EQ(Part("R3")->component, 1);
    EXPECT_EQ(NetItems(Design.nets[1]), (std::vector<std::string>{"U1-1", "R3-2", "U1-2"}));
    EXPECT_EQ(PartPins(Part("U1")), (std::vector<std::string>{"1", "2", "14"}));
    EXPECT_STREQ(Header.title, "Board");
    ExpectConnectionsNameTheirParts(5);
}

TEST_F(Parser, MinimalFileGivesEmptyTables) {
    for (const char* text : {"(pcb)", "(pcb", "(pcb)\n", "(pcb) trailing words ) ) (", "\n\n  ( pcb )"}) {
        EXPECT_EQ(Read(text), 1) << text;
        EXPECT_EQ(Design.partcount + Design.componentcount + Design.netcount + Design.netpincount, 0) << text;
        EXPECT_EQ(Design.partcapacity, 256) << text;
    }
    EXPECT_EQ(TakeMessages(), Lines{});
}

TEST_F(Parser, StructureKeywordsIgnoreLetterCase) {
    ASSERT_EQ(Read("(PCB (Placement (COMPONENT Ic (PLACE u1 (PROPERTY (a b)))))\n"
                   " (LIBRARY (Image Ic (PIN x 1 (Property (pinname P))) (PROPERTY (sourcelib L))))\n"
                   " (NETWORK (NET n (PROPERTY (nettype S)) (PINS u1-1 (PROPERTY (c d)))))\n"
                   " (Description (TITLE t) (ProGram p) (PartValueCombine {a}))\n"
                   " (PipeText w))"),
              1);
    EXPECT_EQ(Design.partcount, 1);
    EXPECT_EQ(PropertiesOf(Design.parts[0]->properties), (Pairs{{"a", "b"}}));
    EXPECT_STREQ(Design.components[0]->libpins->pinname, "P");
    EXPECT_STREQ(Design.components[0]->sourcelib, "L");
    EXPECT_EQ(Design.nets[0]->nettype, 'S');
    EXPECT_EQ(PropertiesOf(Design.nets[0]->netpins->properties), (Pairs{{"c", "d"}}));
    EXPECT_STREQ(Header.title, "t");
    EXPECT_STREQ(Header.Program, "p");
    ASSERT_NE(PartValueCombine.first, nullptr);
    EXPECT_EQ(PipeTextWords(), (std::vector<std::string>{"w"}));
}

TEST_F(Parser, PropertyGroupKeywordsAreExact) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1)))\n"
                   " (library (image C (property (SourceLib L1) (sourcelib L2))\n"
                   "   (pin x 1 (property (PinName P1) (LPINNAME Q1) (PinType 5) (pinname P2)))))\n"
                   " (network (net N (property (NetType S) (NetDir 2) (nettype T))) (pins U1-1)))"),
              1);
    const ComponentDef* component = Design.components[0];
    EXPECT_STREQ(component->sourcelib, "L2");
    EXPECT_EQ(PropertiesOf(component->properties), (Pairs{{"SourceLib", "L1"}}));
    const LibPin* pin = component->libpins;
    EXPECT_STREQ(pin->pinname, "P2");
    EXPECT_EQ(pin->lpinname, EmptyText);
    EXPECT_EQ(pin->pintype, 0);
    EXPECT_EQ(PropertiesOf(pin->properties), (Pairs{{"PinName", "P1"}, {"LPINNAME", "Q1"}, {"PinType", "5"}}));
    const Net* net = Design.nets[0];
    EXPECT_EQ(net->nettype, 'T');
    EXPECT_EQ(net->netdir, 0);
    EXPECT_EQ(PropertiesOf(net->properties), (Pairs{{"NetType", "S"}, {"NetDir", "2"}}));
}

TEST_F(Parser, DuplicateReferencesAreFoundAmongNeighbours) {
    struct Row {
        const char* places;
        int result;
        Lines messages;
    } rows[] = {
        {"(place U1) (place u1)", 0, {"[FMT0004] Duplicate Ref-Des U1" + DuplicateReferenceTail}},
        {"(place u1) (place U1)", 0, {"[FMT0004] Duplicate Ref-Des U1" + DuplicateReferenceTail}},
        {"(place U1) (place U1)", 0, {"[FMT0004] Duplicate Ref-Des U1" + DuplicateReferenceTail}},
        {"(place U1) (place U2) (place u1)", 1, {}},
        {"(place r1) (place R1) (place C1) (place C1)", 0, {"[FMT0004] Duplicate Ref-Des C1" + DuplicateReferenceTail}},
        {"(place U\xC4) (place u\xC4)", 0, {"[FMT0004] Duplicate Ref-Des U\xC4" + DuplicateReferenceTail}},
        {"(place U\xC4) (place U\xE4)", 1, {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Read(std::string("(pcb (placement (component C ") + row.places + ")))"), row.result) << row.places;
        EXPECT_EQ(TakeMessages(), row.messages) << row.places;
    }
}

// Many placement sections: each is sorted in among the earlier ones, and
// the duplicate found at a section's end must be the one a sort of the whole
// table followed by a scan of neighbours finds. References are drawn from a
// few letters in both cases, so equal and case-equal pairs come often and
// many sections pass.
TEST_F(Parser, PlacementSectionsFindTheDuplicatesOfOneWholeSort) {
    uint64_t seed = 12345;
    auto next = [&seed](uint64_t n) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return (seed >> 33) % n;
    };
    int failed = 0;
    for (int round = 0; round < 300; round++) {
        std::string text = "(pcb";
        std::vector<std::string> all;
        std::string expected;  // the reference message 17 names, if any
        int sections = 1 + static_cast<int>(next(12));
        for (int s = 0; s < sections; s++) {
            text += "\n (placement (component C";
            int places = static_cast<int>(next(round % 3 == 0 ? 40 : 4));
            for (int p = 0; p < places; p++) {
                std::string reference;
                int length = 1 + static_cast<int>(next(3));
                for (int c = 0; c < length; c++) reference += "aAbBc"[next(5)];
                all.push_back(reference);
                text += " (place " + reference + ")";
            }
            text += "))";
            if (!expected.empty()) continue;
            std::vector<std::string> sorted = all;
            std::sort(sorted.begin(), sorted.end());
            for (std::size_t i = 0; i + 1 < sorted.size() && expected.empty(); i++)
                if (SameTextIgnoringCase(sorted[i].c_str(), sorted[i + 1].c_str())) expected = sorted[i];
            if (!expected.empty()) sections = s + 1;
        }
        text += ")";
        int result = Read(text);
        Lines messages = TakeMessages();
        if (expected.empty()) {
            EXPECT_EQ(result, 1) << text;
            EXPECT_EQ(messages, Lines{}) << text;
            // The table is one sorted whole.
            ASSERT_EQ(Design.partcount, static_cast<int32_t>(all.size())) << text;
            std::sort(all.begin(), all.end());
            for (int32_t i = 0; i < Design.partcount; i++) EXPECT_EQ(Design.parts[i]->reference, all[i]) << text;
        } else {
            failed++;
            EXPECT_EQ(result, 0) << text;
            EXPECT_EQ(messages, Lines{"[FMT0004] Duplicate Ref-Des " + expected + DuplicateReferenceTail}) << text;
        }
    }
    // Both outcomes were tried many times.
    EXPECT_GT(failed, 50);
    EXPECT_LT(failed, 250);
}

// Connections made before later placement sections keep naming their own
// part while sections are sorted in and merged.
TEST_F(Parser, ConnectionsFollowTheirPartsThroughManySections) {
    std::string ordered = "(pcb";
    for (int i = 39; i >= 0; i--)
        ordered += i == 39 ? "\n (placement (component C (place P0)))"
                           : "\n (placement (x (place P" + std::to_string((i + 1) * 7 % 40) + ")))";
    ordered += "\n (library (image C (pin x 1)))\n (network";
    for (int i = 0; i < 40; i++) ordered += "\n (net N" + std::to_string(i) + " (pins P" + std::to_string(i) + "-1))";
    ordered += ") (placement (x (place Q1) (place A1))))";
    ASSERT_EQ(Read(ordered), 1) << ordered;
    EXPECT_EQ(TakeMessages(), Lines{});
    ASSERT_EQ(Design.partcount, 42);
    ExpectConnectionsNameTheirParts(40);
    for (int32_t i = 0; i < Design.partcount; i++) {
        for (const NetPin* connection = Design.parts[i]->netpins; connection != nullptr;
             connection = connection->nextonpart) {
            EXPECT_EQ(connection->part, i);
            EXPECT_STREQ(Design.nets[connection->net]->name, ("N" + std::string(Design.parts[i]->reference + 1)).c_str());
        }
    }
}

// Placement and network sections that alternate give the tables that the
// same parts and nets read in the usual order give: every connection on its
// part, at its part's index in the sorted table.
TEST_F(Parser, AlternatingSectionsReadAsTheUsualOrder) {
    auto tables = [this](const std::string& text) {
        EXPECT_EQ(Read(text), 1);
        EXPECT_EQ(TakeMessages(), Lines{});
        std::vector<std::string> seen;
        for (int32_t n = 0; n < Design.netcount; n++)
            for (const std::string& item : NetItems(Design.nets[n])) seen.push_back(item);
        for (int32_t i = 0; i < Design.partcount; i++) {
            seen.push_back(Design.parts[i]->reference);
            for (const NetPin* connection = Design.parts[i]->netpins; connection != nullptr;
                 connection = connection->nextonpart) {
                EXPECT_EQ(connection->part, i);
                seen.push_back(Design.nets[connection->net]->name);
            }
        }
        return seen;
    };
    std::string library = "\n (library (image C (pin x 1) (pin x 2)))";
    std::string alternating = "(pcb (placement (component C (place P0)))" + library;
    std::string usual = "(pcb (placement (component C (place P0)";
    std::string nets;
    // Each net joins the part just placed and the one placed before it.
    std::string previous = "P0";
    for (int i = 1; i < 300; i++) {
        std::string part = "P" + std::to_string(i * 37 % 300);
        std::string net = "\n (net N" + std::to_string(i) + " (pins " + part + "-1 " + previous + "-2))";
        alternating += "\n (placement (x (place " + part + ")))\n (network" + net + ")";
        usual += "\n (place " + part + ")";
        nets += net;
        previous = part;
    }
    usual += "))" + library + "\n (network" + nets + "))";
    alternating += ")";
    std::vector<std::string> expected = tables(usual);
    ASSERT_EQ(Design.partcount, 300);
    EXPECT_EQ(tables(alternating), expected);
}

// Property groups continue their record's list wherever the record is taken
// up again: a definition selected by a second image, a pin whose groups
// alternate with its definition's, many groups on one part, a net and a
// connection.
TEST_F(Parser, PropertyGroupsContinueTheirRecordsLists) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1 (property (a 1)) (property (b 2) (c)) (property (d 4)))))\n"
                   " (library (image C (property (i 1)) (pin x 1 (property (p 1))) (property (j 2))"
                   " (x (property (q 2))) (pin x 2)) (image D) (image C (property (k 3))))\n"
                   " (network (net N (property (n 1)) (pins U1-1 (property (e 1)) (property (f 2))) (property (o 2)))))"),
              1);
    EXPECT_EQ(PropertiesOf(Design.parts[0]->properties), (Pairs{{"a", "1"}, {"b", "2"}, {"d", "4"}}));
    const ComponentDef* component = Design.components[0];
    EXPECT_EQ(PropertiesOf(component->properties), (Pairs{{"i", "1"}, {"j", "2"}, {"k", "3"}}));
    EXPECT_EQ(PropertiesOf(component->libpins->properties), (Pairs{{"p", "1"}, {"q", "2"}}));
    EXPECT_EQ(PropertiesOf(Design.nets[0]->properties), (Pairs{{"n", "1"}, {"o", "2"}}));
    EXPECT_EQ(PropertiesOf(Design.nets[0]->netpins->properties), (Pairs{{"e", "1"}, {"f", "2"}}));
}

// The value recomposed after each property group takes the first property
// of each name, however many groups came before: a name given again later,
// a name that only comes in a later group, a name never given.
TEST_F(Parser, PartValuesAreRecomposedOverTheWholeList) {
    struct Row {
        const char* groups;
        const char* value;
    } rows[] = {
        {"(property (A 1))", "1/-"},
        {"(property (A 1)) (property (A 2) (B 3))", "1/3-"},
        {"(property (B 3)) (property (x y)) (property (A 4) (B 5))", "4/3-"},
        {"(property (Missing m)) (property)", "/-m"},
        {"(property (A)) (property (A 6))", "6/-"},
    };
    for (const Row& row : rows) {
        std::string text = std::string("(pcb (description (partvaluecombine \"{A}/{B}-{Missing}\"))\n"
                                       " (placement (component C (place U1 ") + row.groups + "))))";
        ASSERT_EQ(Read(text), 1) << row.groups;
        EXPECT_STREQ(Design.parts[0]->value, row.value) << row.groups;
        EXPECT_STREQ(Design.parts[0]->value, ExpandTemplate(&PartValueCombine, Design.parts[0]->properties)) << row.groups;
    }
}

// Words are kept in blocks: many words, long ones, empty ones, and a later
// section replacing them, all come back in order.
TEST_F(Parser, LongPipeTextKeepsEveryWord) {
    std::vector<std::string> words;
    std::string text = "(pcb (pipetext old words) (pipetext";
    for (int i = 0; i < 3000; i++) {
        std::string word = i % 7 == 0 ? std::string(200 + i % 50, 'w') : i % 11 == 0 ? "" : std::to_string(i);
        words.push_back(i % 13 == 0 ? "(" : word);
        text += i % 13 == 0 ? std::string(" (") : " \"" + word + "\"";
        if (i % 4 == 0) text += "\n";
    }
    text += "))";
    ASSERT_EQ(Read(text), 1);
    EXPECT_EQ(PipeTextWords(), words);
}

TEST_F(Parser, EveryReaderFailureWithItsMessage) {
    const std::string head =
        "(pcb (placement (component C (place U1) (place U2)) (component D (place R1)))\n"
        " (library (image C (pin x 1) (pin x 2) (pin x 3)) (image D (pin x A)))\n"
        " (network (net N ";
    const std::string long255(255, 'L');
    struct Row {
        std::string text;
        Lines messages;  // every failure gives 0
    } rows[] = {
        {head + "(pins U9-1))))", {ReferenceNotFound}},
        {head + "(pins u1-1))))", {ReferenceNotFound}},
        {head + "(pins U1-4))))", {"[FMT0023] Lib/part pin mismatch U1 pin 4"}},
        {head + "(pins U1-01))))", {"[FMT0023] Lib/part pin mismatch U1 pin 01"}},
        {head + "(pins R1-a))))", {"[FMT0023] Lib/part pin mismatch R1 pin a"}},
        {head + "(pins U1-3)) (net M (pins U1-3))))", {"[FMT0003] Duplicate pin U1 pin 3" + DuplicatePinTail}},
        {head + "(pins R1-A R1-A))))", {"[FMT0003] Duplicate pin R1 pin A" + DuplicatePinTail}},
        {head + "(pins U1-" + long255 + "))))", {"[FMT0023] Lib/part pin mismatch U1 pin " + long255}},
        {head + "(pins U1 1))))", {}},
        {head + "(pins U1-", {}},
        {head + "(pins U1", {}},
        {head + "(pins U1-1", {}},
        {head + "(pins U1-1 (property (a b", {}},
        {head + "(property (nettype", {}},
        {head + "(property (a b", {}},
        {head, {}},
        {"(pcb (network (pins U1-1)))", {}},
        {"(pcb (network (pins)))", {}},
        {"(pcb (placement (x (place U1))))", {}},
        {"(pcb (placement (x (place U1))) (placement (component C (place U2))))", {}},
        {"(pcb (placement (component C (place U1 (property (a b", {}},
        {"(pcb (placement (component C (place U1)", {}},
        {"(pcb (placement (component", {}},
        {"(pcb (placement (component C (place", {}},
        {"(pcb (library (image", {}},
        {"(pcb (placement (component C)) (library (image C (pin", {}},
        {"(pcb (placement (component C)) (library (image C (pin x", {}},
        {"(pcb (placement (component C)) (library (image C (property (sourcelib", {}},
        {"(pcb (placement (component C)) (library (image C (pin x 1 (property (pintype", {}},
        {"(pcb (library (image X (pin x 1)", {}},
        {"(pcb (network (net", {}},
        {"(pcb (description (title", {}},
        {"(pcb (description (partvaluecombine", {}},
        {"(pcb (description (title t)", {}},
        {"(pcb (pipetext a b", {}},
        {"pcb", {}},
        {"(pcbx)", {}},
        {"((pcb))", {}},
        {"(", {}},
        {"", {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Read(row.text), 0) << row.text;
        EXPECT_EQ(TakeMessages(), row.messages) << row.text;
    }
}

TEST_F(Parser, FilledMessagesAreSentWhole) {
    std::string reference(255, 'R');
    std::string pin(255, '7');
    // One section per line: a line longer than 1,023 characters would split
    // the long tokens.
    std::string library = "\n(library (image C (pin x " + pin + ")))\n";
    struct Row {
        std::string text;
        std::string message;
    } rows[] = {
        {"(pcb (placement (component C (place " + reference + ") (place " + reference + "))))",
         "[FMT0004] Duplicate Ref-Des " + reference + DuplicateReferenceTail},
        {"(pcb (placement (component C (place " + reference + ")))\n(network (net N (pins " + reference + "-1))))",
         "[FMT0023] Lib/part pin mismatch " + reference + " pin 1"},
        {"(pcb (placement (component C (place " + reference + ")))" + library + "(network (net N (pins " + reference +
             "-" + pin + "\n" + reference + "-" + pin + "))))",
         "[FMT0003] Duplicate pin " + reference + " pin " + pin + DuplicatePinTail},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Read(row.text), 0);
        EXPECT_EQ(TakeMessages(), Lines{row.message});
    }
}

TEST_F(Parser, PlacementAfterNetworkKeepsEveryConnectionOnItsPart) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U5) (place U1)))\n"
                   " (library (image C (pin x 1) (pin x 2)))\n"
                   " (network (net N1 (pins U5-1 U1-2)) (net N2 (pins U5-2)))\n"
                   // Without a "component" of their own, these take the first one.
                   " (placement (x (place A1) (place Z9) (place B2)))\n"
                   " (network (net N3 (pins A1-1 Z9-1 U1-1))))"),
              1);
    EXPECT_EQ(TakeMessages(), Lines{});
    EXPECT_STREQ(Design.parts[0]->reference, "A1");
    EXPECT_STREQ(Design.parts[3]->reference, "U5");
    ExpectConnectionsNameTheirParts(6);
    EXPECT_EQ(NetItems(Design.nets[0]), (std::vector<std::string>{"U5-1", "U1-2"}));
    EXPECT_EQ(NetItems(Design.nets[1]), (std::vector<std::string>{"U5-2"}));
    EXPECT_EQ(NetItems(Design.nets[2]), (std::vector<std::string>{"A1-1", "Z9-1", "U1-1"}));
    EXPECT_EQ(PartPins(Part("U5")), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(PartPins(Part("U1")), (std::vector<std::string>{"1", "2"}));

    // A duplicate is still caught on the part's own list after the re-sort.
    EXPECT_EQ(Read("(pcb (placement (component C (place U5)))\n"
                   " (library (image C (pin x 1)))\n"
                   " (network (net N1 (pins U5-1)))\n"
                   " (placement (x (place A1)))\n"
                   " (network (net N2 (pins A1-1 U5-1))))"),
              0);
    EXPECT_EQ(TakeMessages(), Lines{"[FMT0003] Duplicate pin U5 pin 1" + DuplicatePinTail});
}

TEST_F(Parser, PartValues) {
    struct Row {
        std::string text;
        std::string u1;  // U1's value
        std::string u2;  // U2's value
    } rows[] = {
        {"(placement (component 7400 (place U1) (place U2 (property (Value 10k)))))", "7400", ""},
        {"(description (partvaluecombine {Value}))"
         "(placement (component 7400 (place U1) (place U2 (property (Value 10k)))))",
         "7400", "10k"},
        {"(placement (component 7400 (place U1) (place U2 (property (Value 10k)))))"
         "(description (partvaluecombine {Value}))",
         "7400", ""},
        {"(description (partvaluecombine \"R{Value}/{Tol}\"))"
         "(placement (component RES (place U1 (property (Value 1k) (Tol 5%)) (property (Value 2k))) (place U2)))",
         "R1k/5%", "RES"},
        {"(description (partvaluecombine {A}{B}))"
         "(placement (component C (place U1 (property (A 1)) (property (B 2))) (place U2 (property (A 3)))))",
         "12", "3"},
        {"(description (partvaluecombine {value}))"
         "(placement (component C (place U1 (property (Value 1))) (place U2)))",
         "", "C"},
        {"(description (partvaluecombine Fixed))(placement (component C (place U1 (property)) (place U2)))",
         "Fixed", "C"},
        {"(placement (component C (property (Value 9)) (place U1) (place U2)))", "C", "C"},
        {"(placement (component C (place U1) (place U2) (x (property (Value 9)))))", "C", ""},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(Read("(pcb " + row.text + ")"), 1) << row.text;
        ASSERT_EQ(Design.partcount, 2) << row.text;
        EXPECT_EQ(Part("U1")->value, row.u1) << row.text;
        EXPECT_EQ(Part("U2")->value, row.u2) << row.text;
    }
}

TEST_F(Parser, TwoPropertyGroupsMakeOneList) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1 (property (A 1) (B 2)) (property (C 3) (A 4) ((D 5)) E))))"),
              1);
    EXPECT_EQ(PropertiesOf(Design.parts[0]->properties), (Pairs{{"A", "1"}, {"B", "2"}, {"C", "3"}, {"A", "4"}}));
}

TEST_F(Parser, PropertyPairsAlternateAtLevelTwo) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1 (property skipped (a b c d) (e) (f) (g (deep) h))))))"),
              1);
    EXPECT_EQ(PropertiesOf(Design.parts[0]->properties), (Pairs{{"a", "b"}, {"c", "d"}, {"e", "f"}, {"g", "h"}}));
}

TEST_F(Parser, ImagesThatFindNoComponent) {
    struct Row {
        std::string text;
        Lines messages;
    } rows[] = {
        {"(placement (component C (place U1)))(library (image X (pin x 1)) (image C (pin x 2)))"
         "(network (net N (pins U1-2)))",
         {}},
        {"(placement (component C (place U1)))(library (image c (pin x 1)))(network (net N (pins U1-1)))",
         {"[FMT0023] Lib/part pin mismatch U1 pin 1"}},
        {"(placement (component C (place U1)))(library (image X (pin x 1) (property (sourcelib L))))"
         "(network (net N (pins U1-1)))",
         {"[FMT0023] Lib/part pin mismatch U1 pin 1"}},
        {"(placement (component C (place U1)) (component C (place U2)))(library (image C (pin x 1)))"
         "(network (net N (pins U1-1 U2-1)))",
         {"[FMT0023] Lib/part pin mismatch U2 pin 1"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Read("(pcb " + row.text + ")"), row.messages.empty() ? 1 : 0) << row.text;
        EXPECT_EQ(TakeMessages(), row.messages) << row.text;
    }
    Read("(pcb (placement (component C)) (library (image X (pin x 1) (property (sourcelib L)))))");
    EXPECT_EQ(Design.components[0]->libpins, nullptr);
    EXPECT_EQ(Design.components[0]->sourcelib, EmptyText);
}

TEST_F(Parser, LibraryPinsAndTheirProperties) {
    ASSERT_EQ(Read("(pcb (placement (component C) (component D))\n"
                   " (library (image C (pin x 10) (pin x 2 (property (pintype 1) (lpinname L2) (v w)))\n"
                   "   (pin y A (property (pintype \"\") (pinname PA))) (pin x 1))\n"
                   "  (image D (x (property (pinname lost))) (pin x 5)) (y (property (note n)))))"),
              1);
    ComponentDef* c = Design.components[0];
    EXPECT_EQ(LibPins(c), (std::vector<std::string>{"1", "2", "10", "A"}));
    const LibPin* two = FindLibPin(c, "2");
    EXPECT_EQ(two->pintype, 1);
    EXPECT_STREQ(two->lpinname, "L2");
    EXPECT_EQ(two->pinname, EmptyText);
    EXPECT_EQ(PropertiesOf(two->properties), (Pairs{{"v", "w"}}));
    EXPECT_EQ(two->numbervalue, 2);
    EXPECT_EQ(two->component, 0);
    const LibPin* a = FindLibPin(c, "A");
    EXPECT_EQ(a->pintype, -48);
    EXPECT_STREQ(a->pinname, "PA");
    EXPECT_EQ(a->numbervalue, -1);
    // A pin property group of a new image before its first pin belongs to
    // no pin, not to the last pin of the image before.
    EXPECT_EQ(FindLibPin(c, "1")->pinname, EmptyText);
    ComponentDef* d = Design.components[1];
    EXPECT_EQ(d->libpins->component, 1);
    // The selected image stays in force after its group closes.
    EXPECT_EQ(PropertiesOf(d->properties), (Pairs{{"note", "n"}}));
}

TEST_F(Parser, NetTypeAndDirection) {
    struct Row {
        const char* properties;
        char nettype;
        uint8_t netdir;
    } rows[] = {
        {"", 'L', 0},
        {"(property (netdir 2) (nettype S))", 'S', 2},
        {"(property (netdir \"\") (nettype \"\"))", '\0', 208},
        {"(property (nettype Signal) (netdir 12))", 'S', 1},
        {"(property (netdir A))", 'L', 17},
        {"(property (netdir 1)) (property (netdir 3))", 'L', 3},
        {"(x (property (nettype X)))", 'L', 0},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(Read(std::string("(pcb (network (net N ") + row.properties + ")))"), 1) << row.properties;
        EXPECT_EQ(Design.nets[0]->nettype, row.nettype) << row.properties;
        EXPECT_EQ(Design.nets[0]->netdir, row.netdir) << row.properties;
    }
}

TEST_F(Parser, GroupsWithNothingToAttachToArePassedOver) {
    ASSERT_EQ(Read("(pcb (placement (component C (x (property (a b))) (place U1)))\n"
                   " (library (image C (pin x 1)))\n"
                   " (network (x (property (nettype S))) (net N (pins (property (p q)) U1-1 (property (r s))))))"),
              1);
    EXPECT_EQ(Design.parts[0]->properties, nullptr);
    EXPECT_EQ(Design.nets[0]->nettype, 'L');
    EXPECT_EQ(PropertiesOf(Design.nets[0]->netpins->properties), (Pairs{{"r", "s"}}));
}

TEST_F(Parser, OtherGroupsInsidePinsAreSkippedWhole) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1) (place U2)))\n"
                   " (library (image C (pin x 1) (pin x 2)))\n"
                   " (network (net N (pins U1-1 (note (U2-2)) () ((x) y) (PROPERTY (a b)) U2-1)\n"
                   "  (property (nettype S)))))"),
              1);
    EXPECT_EQ(NetItems(Design.nets[0]), (std::vector<std::string>{"U1-1", "U2-1"}));
    EXPECT_EQ(PropertiesOf(Design.nets[0]->netpins->properties), (Pairs{{"a", "b"}}));
    EXPECT_EQ(Design.nets[0]->nettype, 'S');
}

TEST_F(Parser, ConnectionsKeepFileOrderOnTheNetAndPinOrderOnThePart) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1)) (component R (place R3)))\n"
                   " (library (image C (pin x 1) (pin x 2) (pin x 14)) (image R (pin x 2)))\n"
                   " (network (net N (pins U1-14 U1-1 R3-2) (pins U1-2)) (net M)))"),
              1);
    EXPECT_EQ(NetItems(Design.nets[0]), (std::vector<std::string>{"U1-14", "U1-1", "R3-2", "U1-2"}));
    EXPECT_EQ(PartPins(Part("U1")), (std::vector<std::string>{"1", "2", "14"}));
    EXPECT_EQ(Design.nets[1]->netpins, nullptr);
    EXPECT_EQ(Design.netpincount, 4);
}

// The lookups serve the read alone: once it ends nothing stands beside the
// lists and the references' table is gone, so the output's memory does
// not come on top of theirs.
TEST_F(Parser, TheReadLetsItsLookupsGo) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1)))\n"
                   " (library (image C (pin x 1) (pin x 2) (pin x 3) (pin x 4) (pin x 5)))\n"
                   " (network (net N (pins U1-5 U1-1 U1-4 U1-2 U1-3))))"),
              1);
    EXPECT_EQ(Design.components[0]->pinorder, nullptr);
    EXPECT_EQ(Part("U1")->pinorder, nullptr);
    EXPECT_EQ(FindPartIndex("U1"), -1);
    EXPECT_EQ(PartPins(Part("U1")), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

// Connections are taken a run at a time: whatever ends a run (a property
// group, the end of the group or of the file, a connection that fails its
// checks) finds every connection before it made, in file order, and none
// after it.
TEST_F(Parser, LongPinsGroupsKeepEveryRuleAcrossRuns) {
    // Forty parts of a forty-pin component: enough for the indexes too.
    std::string head = "(pcb (placement (component C";
    for (int i = 1; i <= 40; i++) head += " (place U" + std::to_string(i) + ")";
    head += ")) (library (image C";
    for (int i = 1; i <= 40; i++) head += " (pin x " + std::to_string(i) + ")";
    head += ")) (network (net N (pins";
    auto item = [](int i) { return "U" + std::to_string(i) + "-" + std::to_string(41 - i); };
    auto items = [&](int first, int last) {
        std::vector<std::string> list;
        for (int i = first; i <= last; i++) list.push_back(item(i));
        return list;
    };
    auto text = [&](const std::vector<std::string>& list) {
        std::string joined;
        for (const std::string& entry : list) joined += " " + entry;
        return joined;
    };
    for (int count : {1, 15, 16, 17, 31, 32, 33, 40}) {
        SCOPED_TRACE(count);
        // After the group, one more pin of the last part (U1's own is 40).
        std::string reference = "U" + std::to_string(count == 1 ? 2 : count);
        ASSERT_EQ(Read(head + text(items(1, count)) + " (property (k v)) " + reference + "-40))))"), 1);
        std::vector<std::string> expected = items(1, count);
        expected.push_back(reference + "-40");
        EXPECT_EQ(NetItems(Design.nets[0]), expected);
        const NetPin* last = Design.nets[0]->netpins;
        for (int i = 1; i < count; i++) last = last->nextonnet;
        EXPECT_EQ(PropertiesOf(last->properties), (Pairs{{"k", "v"}}));
        EXPECT_EQ(last->nextonnet->properties, nullptr);
        if (count != 1) {
            EXPECT_EQ(PartPins(Part(reference.c_str())), (std::vector<std::string>{std::to_string(41 - count), "40"}));
        }
        TakeMessages();

        // A failing connection at COUNT: the ones before it made, none after.
        std::vector<std::string> failing = items(1, count - 1);
        failing.push_back("U99-1");
        std::vector<std::string> after = items(count, 40);
        failing.insert(failing.end(), after.begin(), after.end());
        EXPECT_EQ(Read(head + text(failing) + "))))"), 0);
        EXPECT_EQ(TakeMessages(), Lines{ReferenceNotFound});
        EXPECT_EQ(NetItems(Design.nets[0]), items(1, count - 1));
        EXPECT_EQ(Design.netpincount, count);

        // The file ends inside the run: every whole connection is made.
        EXPECT_EQ(Read(head + text(items(1, count)) + " U1-"), 0);
        EXPECT_EQ(TakeMessages(), Lines{});
        EXPECT_EQ(NetItems(Design.nets[0]), items(1, count));
    }
}

TEST_F(Parser, DescriptionKeywordsAtAnyLevel) {
    ASSERT_EQ(Read("(pcb (description title First (x (y (date D1))) (organization \"\") (source S)\n"
                   "  (title Second) (title \"\") (address4 A4) (TimeStamp T) (unknown u) (revision\n"
                   "  (pcbfootprintcombine \"\") (pcbfootprintcombine F{x)))"),
              1);
    EXPECT_STREQ(Header.title, "Second");
    EXPECT_STREQ(Header.date, "D1");
    EXPECT_EQ(Header.organization, EmptyText);
    EXPECT_STREQ(Header.source, "S");
    EXPECT_STREQ(Header.address4, "A4");
    EXPECT_STREQ(Header.timestamp, "T");
    // A keyword's value is the next token, whatever it is.
    EXPECT_STREQ(Header.revision, "(");
    EXPECT_EQ(Header.document, EmptyText);
    // A malformed template keeps what it parsed, and the read goes on.
    ASSERT_NE(FootprintCombine.first, nullptr);
    EXPECT_STREQ(FootprintCombine.first->text, "F");
}

TEST_F(Parser, PipeText) {
    struct Row {
        std::string sections;
        std::vector<std::string> words;
    } rows[] = {
        {"(pipetext a b c)", {"a", "b", "c"}},
        {"(pipetext a b c) (pipetext d e)", {"d", "e"}},
        {"(pipetext a b c) (pipetext)", {"a", "b", "c"}},
        {"(pipetext a (b) c)", {"a", "(", "b"}},
        {"(pipetext \"x y\" -)", {"x y", "-"}},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(Read("(pcb " + row.sections + ")"), 1) << row.sections;
        EXPECT_EQ(PipeTextWords(), row.words) << row.sections;
    }
}

TEST_F(Parser, SectionsStartAtLevelTwoOnly) {
    ASSERT_EQ(Read("(pcb (other placement (component C (place U1))) (x (y (placement (component D (place U2)))))\n"
                   " (Placement) (pipetext w) (z pipetext q r))"),
              1);
    EXPECT_EQ(Design.partcount, 1);
    EXPECT_STREQ(Design.parts[0]->reference, "U1");
    EXPECT_EQ(PipeTextWords(), (std::vector<std::string>{"q", "r"}));
    ASSERT_EQ(Read("(pcb placement (component C (place U1))"), 1);
    EXPECT_EQ(Design.partcount, 0);
}

TEST_F(Parser, ConnectionTextsSplitAtTheDash) {
    ASSERT_EQ(Read("(pcb (placement (component C (place U1) (place \"A-B\")))\n"
                   " (library (image C (pin x 14) (pin x \\-3)))\n"
                   " (network (net N (pins U1-14 A\\-B - \\-3))))"),
              1);
    EXPECT_EQ(NetItems(Design.nets[0]), (std::vector<std::string>{"U1-14", "A-B--3"}));
}

// Whether the sweep's design below was read with nothing missing.
bool IsTheWholeSweepDesign() {
    if (Design.partcount != 2 || Design.netcount != 1 || Design.netpincount != 2) return false;
    const ComponentDef* component = Design.components[0];
    const LibPin* pin = component->libpins;
    const Net* net = Design.nets[0];
    return std::string(Part("U1")->value) == "1x" && PropertiesOf(Part("U1")->properties) == Pairs{{"Value", "1"}} &&
           std::string(Header.title) == "T" && std::string(component->sourcelib) == "S" &&
           PropertiesOf(component->properties) == Pairs{{"k", "v"}} && std::string(pin->pinname) == "P" &&
           PropertiesOf(pin->properties) == Pairs{{"a", "b"}} && pin->next != nullptr && net->nettype == 'S' &&
           PropertiesOf(net->properties) == Pairs{{"c", "d"}} && net->netpins->nextonnet != nullptr &&
           PropertiesOf(net->netpins->properties) == Pairs{{"e", "f"}} && PipeTextWords().size() == 2 &&
           PipeTextWords()[1] == "w2";
}

// Fails each allocation of reading TEXT in turn, until the read succeeds;
// every failed read gives 0 with at most one message, and a read that
// could do without the memory gives 1, no message and, where WHOLE says,
// the whole design. The messages seen.
std::set<std::string> SweepReadAllocations(const std::string& text, long* allocations, bool (*whole)() = nullptr) {
    WriteBytes("design.ONL", text);
    std::set<std::string> seen;
    *allocations = SweepAllocationFailures(
        [&seen, whole](AllocationFailurePoint& point) {
            ReleaseRun();
            TextFile* file = OpenTextFile("design.ONL", "rt");
            ASSERT_NE(file, nullptr);
            point.Arm();
            int result = ReadIntermediateFile(file);
            bool hit = point.Disarm();
            CloseTextFile(file);
            Lines messages = TakeMessages();
            if (!hit || result == 1) {
                EXPECT_EQ(result, 1);
                EXPECT_TRUE(messages.empty()) << "allocation " << point.Failing();
                if (whole != nullptr) {
                    EXPECT_TRUE(whole()) << "allocation " << point.Failing();
                }
                return;
            }
            EXPECT_EQ(result, 0) << "allocation " << point.Failing();
            EXPECT_LE(messages.size(), 1u) << "allocation " << point.Failing();
            for (const std::string& message : messages) seen.insert(message);
        },
        1000);
    return seen;
}

// Every allocation of a read in turn fails: the read gives 0 and ends
// cleanly, and only a full table is reported, with its own message. The
// records are carved from the design's blocks, so only the first record
// (a component definition) needs a block here; where each is an allocation
// of its own, a net's can fail too.
TEST_F(Parser, ReadsThatRunOutOfMemoryFailCleanly) {
    std::string text =
        "(pcb (description (title T) (partvaluecombine \"{Value}x\"))\n"
        " (placement (component C (place U1 (property (Value 1))) (place U2)))\n"
        " (library (image C (property (sourcelib S) (k v)) (pin x 1 (property (pinname P) (a b))) (pin x 2)))\n"
        " (network (net N (property (nettype S) (c d)) (pins U1-1 (property (e f)) U2-2)))\n"
        " (pipetext w1 w2))";
    long allocations = 0;
    std::set<std::string> seen = SweepReadAllocations(text, &allocations, IsTheWholeSweepDesign);
    EXPECT_GT(allocations, 10);
    std::set<std::string> expected = {"[FMT0011] Out of memory allocating Parts table"};
    if (CarvingsStandApart) expected.insert("[FMT0010] Out of memory allocating Nets table");
    EXPECT_EQ(seen, expected);
}

// A nets table that cannot grow is reported as such.
TEST_F(Parser, AFullNetsTableIsReported) {
    std::string text = "(pcb (placement (component C (place U1)))\n (library (image C (pin x 1)))\n (network";
    for (int i = 0; i <= TableStep; i++) text += " (net N" + std::to_string(i) + ")";
    text += " (net M (pins U1-1))))";
    long allocations = 0;
    std::set<std::string> seen =
        SweepReadAllocations(text, &allocations, [] { return Design.netcount == TableStep + 2; });
    EXPECT_EQ(Design.netcount, TableStep + 2);
    EXPECT_EQ(seen, (std::set<std::string>{"[FMT0010] Out of memory allocating Nets table",
                                           "[FMT0011] Out of memory allocating Parts table"}));
}

}  // namespace
