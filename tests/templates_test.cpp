// Combine templates: parsing into segments, expansion and property lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/run.h"
#include "platform/platform.h"
#include "reader/design.h"
#include "reader/templates.h"
#include "runtime/driver.h"
#include "runtime/driver_testing.h"
#include "support.h"

namespace {

using Segments = std::vector<std::pair<int, std::string>>;
using Pairs = std::vector<std::pair<std::string, std::string>>;
constexpr int L = LiteralSegment;
constexpr int P = PropertyReferenceSegment;

Segments SegmentsOf(const CombineTemplate& tmpl) {
    Segments segments;
    for (const TemplateSegment* segment = tmpl.first; segment != nullptr; segment = segment->next)
        segments.emplace_back(segment->kind, segment->text);
    return segments;
}

// A property list on the stack: name/value pairs linked in order.
struct Properties {
    explicit Properties(Pairs pairs) : texts(std::move(pairs)) {
        records.resize(texts.size());
        for (size_t i = 0; i < texts.size(); i++) {
            records[i].name = texts[i].first.c_str();
            records[i].value = texts[i].second.c_str();
            records[i].next = i + 1 < texts.size() ? &records[i + 1] : nullptr;
        }
    }
    Property* list() { return records.empty() ? nullptr : records.data(); }
    Pairs texts;
    std::vector<Property> records;
};

class Templates : public LibraryTest {
protected:
    void TearDown() override {
        CurrentPart = PartInstance{};
        CurrentNet = Net{};
        LibraryTest::TearDown();
    }
};

TEST_F(Templates, TextsParseIntoSegments) {
    struct Row {
        const char* text;
        int result;
        Segments segments;
    } rows[] = {
        {"{Value}", 1, {{P, "Value"}}},
        {"R{Value}Ohm", 1, {{L, "R"}, {P, "Value"}, {L, "Ohm"}}},
        {"{Value}{Tolerance}", 1, {{P, "Value"}, {P, "Tolerance"}}},
        {"{}", 1, {{P, ""}}},
        {"plain", 1, {{L, "plain"}}},
        {"a}b", 1, {{L, "a}b"}}},
        {"\\{A}", 1, {{L, "\\{A}"}}},
        {"x\\ty\\nz", 1, {{L, "x\ty\nz"}}},
        {"\\q\\\\\\}", 1, {{L, "\\q\\\\\\}"}}},
        {"{a\\b}", 1, {{P, "a\\b"}}},
        {"{a{b}c", 1, {{P, "a{b"}, {L, "c"}}},
        {"{a\\}b}", 1, {{P, "a\\"}, {L, "b}"}}},
        {"ab{cd", 0, {{L, "ab"}}},
        {"{A}ab\\", 0, {{P, "A"}}},
        {"{A}ab{", 0, {{P, "A"}, {L, "ab"}}},
    };
    for (const Row& row : rows) {
        ReleaseTemplates();
        EXPECT_EQ(ParseCombineTemplate(row.text, &PartValueCombine), row.result) << row.text;
        EXPECT_EQ(SegmentsOf(PartValueCombine), row.segments) << row.text;
    }
}

TEST_F(Templates, ASecondTextReplacesOnlyOnceItYieldsASegment) {
    struct Row {
        const char* second;
        Segments segments;
    } rows[] = {
        {"B", {{L, "B"}}},
        {"{C}", {{P, "C"}}},
        {"", {{P, "A"}}},
        {"\\", {{P, "A"}}},
        {"x{B", {{L, "x"}}},
        {"{", {{P, "A"}}},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ParseCombineTemplate("{A}", &FootprintCombine), 1);
        ParseCombineTemplate(row.second, &FootprintCombine);
        EXPECT_EQ(SegmentsOf(FootprintCombine), row.segments) << '"' << row.second << '"';
    }
}

TEST_F(Templates, LongTextsAreCutPerSegment) {
    std::string name(300, 'n');
    std::string text = std::string(300, 'a') + "{" + name + "}";
    ASSERT_EQ(ParseCombineTemplate(text.c_str(), &PartValueCombine), 1);
    EXPECT_EQ(SegmentsOf(PartValueCombine), (Segments{{L, std::string(255, 'a')}, {P, std::string(255, 'n')}}));
}

TEST_F(Templates, ExpansionSubstitutesExactNames) {
    Properties properties(Pairs{{"Value", "10k"}, {"Tol", "5%"}, {"", "blank"}, {"Value", "22k"}});
    struct Row {
        const char* text;
        const char* expansion;
    } rows[] = {
        {"{Value}", "10k"},
        {"R{Value}/{Tol}", "R10k/5%"},
        {"{value}", ""},
        {"{Missing}x", "x"},
        {"{}", "blank"},
        {"a\\tb", "a\tb"},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ParseCombineTemplate(row.text, &PartValueCombine), 1) << row.text;
        EXPECT_STREQ(ExpandTemplate(&PartValueCombine, properties.list()), row.expansion) << row.text;
    }
    EXPECT_STREQ(ExpandTemplate(&FootprintCombine, properties.list()), "");
    EXPECT_STREQ(ExpandTemplate(&PartValueCombine, nullptr), "a\tb");
}

TEST_F(Templates, ControlBytesOfTheFileAreReplacedEscapesKept) {
    // Only the tab and line feed of the escapes are the template's own;
    // every other control byte, in a literal or a property value, is data.
    // A literal that the cut reaches in part counts only what it kept.
    const std::string v253(253, 'v'), v254(254, 'v');
    Properties properties(Pairs{{"V", "1\r\n2"}, {"T", "a\tb"}, {"Clean", "ok"}, {"L253", v253}, {"L254", v254}});
    struct Row {
        std::string text;
        std::string expansion;
        int32_t replaced;
    } rows[] = {
        {"{L254}x\x01", v254 + "x", 0},
        {"{L253}x\x01", v253 + "x?", 1},
        {"{Clean}\\t\\n", "ok\t\n", 0},
        {"{V}", "1??2", 2},
        {"{T}\\t", "a?b\t", 1},
        {"x\x1by{Clean}\x7f", "x?yok?", 2},
        {"\\\r{Clean}", "\\?ok", 1},
        {"{Missing}", "", 0},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(ParseCombineTemplate(row.text.c_str(), &FootprintCombine), 1) << row.text;
        EXPECT_EQ(ExpandTemplate(&FootprintCombine, properties.list()), row.expansion) << row.text;
        EXPECT_EQ(ExpansionReplacedControls(), row.replaced) << row.text;
    }
}

TEST_F(Templates, ExpansionIsCutAtItsLimit) {
    Properties properties(Pairs{{"Long", std::string(200, 'v')}});
    ASSERT_EQ(ParseCombineTemplate((std::string(100, 'a') + "{Long}{Long}").c_str(), &PartValueCombine), 1);
    std::string expansion = ExpandTemplate(&PartValueCombine, properties.list());
    EXPECT_EQ(expansion, std::string(100, 'a') + std::string(155, 'v'));
}

TEST_F(Templates, FindPropertyGivesTheFirstValueOrEmptyText) {
    Properties properties(Pairs{{"A", "1"}, {"B", "2"}, {"A", "3"}});
    EXPECT_STREQ(FindProperty("A", properties.list()), "1");
    EXPECT_STREQ(FindProperty("B", properties.list()), "2");
    EXPECT_EQ(FindProperty("a", properties.list()), EmptyText);
    EXPECT_EQ(FindProperty("A", nullptr), EmptyText);
}

TEST_F(Templates, CurrentNetAndPartPropertiesAreFound) {
    Properties netproperties(Pairs{{"tracewidth", "12"}});
    Properties partproperties(Pairs{{"timestamp", "ABC"}});
    CurrentNet.properties = netproperties.list();
    CurrentPart.properties = partproperties.list();
    EXPECT_STREQ(FindNetProperty("tracewidth"), "12");
    EXPECT_EQ(FindNetProperty("timestamp"), EmptyText);
    EXPECT_STREQ(FindPartProperty("timestamp"), "ABC");
    EXPECT_EQ(FindPartProperty("tracewidth"), EmptyText);
}

TEST_F(Templates, ParseWithoutMemoryKeepsAWholeTemplate) {
    ASSERT_EQ(ParseCombineTemplate("{Old}", &PartValueCombine), 1);
    long made = SweepAllocationFailures([](AllocationFailurePoint& point) {
        point.Arm();
        int result = ParseCombineTemplate("a{B}c", &PartValueCombine);
        bool hit = point.Disarm();
        Segments segments = SegmentsOf(PartValueCombine);
        if (!hit) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(segments, (Segments{{L, "a"}, {P, "B"}, {L, "c"}}));
            return;
        }
        EXPECT_EQ(result, TemplateNoMemory) << "allocation " << point.Failing();
        EXPECT_TRUE(segments == (Segments{{P, "Old"}}) || segments == (Segments{{L, "a"}}) ||
                    segments == (Segments{{L, "a"}, {P, "B"}}))
            << "allocation " << point.Failing();
        ASSERT_EQ(ParseCombineTemplate("{Old}", &PartValueCombine), 1);
    });
    // A segment and its text for each of the three.
    EXPECT_EQ(made, 6);
}

TEST_F(Templates, ReleaseEmptiesBothTemplates) {
    ParseCombineTemplate("a{B}", &PartValueCombine);
    ParseCombineTemplate("{C}d", &FootprintCombine);
    ReleaseTemplates();
    EXPECT_EQ(PartValueCombine.first, nullptr);
    EXPECT_EQ(FootprintCombine.first, nullptr);
}

}  // namespace
