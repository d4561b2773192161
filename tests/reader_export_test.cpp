// The reader behind the export: the design checks after the read, the
// summary line, and a failed read as the host sees it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"
#include "zedid.h"

namespace {

using Lines = std::vector<std::string>;

class ReaderExport : public LibraryTest {};

const char* const ReadFailed = "[FMT0018] Errors processing intermediate file";
const char* const NoParts = "[FMT0021] No parts in the design";
const char* const NoNets = "[FMT0022] No nets in the design";

TEST_F(ReaderExport, ACompleteDesignSendsTheSummaryFirst) {
    FormatDesign(
        "(pcb (placement (component 7400 (place U1) (place U2)) (component RES (place R3)))\n"
        " (library (image 7400 (pin x 1) (pin x 2) (pin x 14)) (image RES (pin x 1) (pin x 2)))\n"
        " (network (net VCC (pins U1-14 U2-14)) (net N1 (pins U1-1 R3-2 U1-2)) (net EMPTY)))\n");
    Lines messages = TakeMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "3 Parts, 2 Library Parts, 3 Nets, 5 Pins\n");
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
}

TEST_F(ReaderExport, DesignChecksAfterTheRead) {
    struct Row {
        std::string text;
        Lines messages;
    } rows[] = {
        {"(pcb)", {NoParts}},
        {"(pcb (network (net N)))", {NoParts}},
        {"(pcb (placement (component C (place U1))))", {NoNets}},
        {"(pcb (placement (component C (place U1))) (network (net N)))", {NoNets}},
        {"(pcb (placement (component C (place U1))) (library (image C (pin x 1))) (network (net N (pins))))",
         {NoNets}},
        {"(pcb (placement (component C (place U1) (place u1))))",
         {"[FMT0004] Duplicate Ref-Des U1. Possibly a complex hierarchy in logical view, or incorrect annotation "
          "in physical view.",
          ReadFailed}},
        {"(pcb (placement (component C (place U1))) (network (net N (pins U2-1))))",
         {"[FMT0024] Ref-des not found. Possible Logical/Physical annotation conflict.", ReadFailed}},
        {"(pcb (placement (component C (place U1))) (network (net N (pins U1-1))))",
         {"[FMT0023] Lib/part pin mismatch U1 pin 1", ReadFailed}},
        {"(pcb (placement (component C (place U1))) (library (image C (pin x 1) (pin x 01)))\n"
         " (network (net N (pins U1-1 U1-01))))",
         {"[FMT0003] Duplicate pin U1 pin 01. Possibly a complex hierarchy in logical view or duplicate part "
          "reference in physical view.",
          ReadFailed}},
        {"(pcb (network (pins U1-1)))", {ReadFailed}},
        {"(pcb (placement (x (place U1))))", {ReadFailed}},
        {"(pcb (placement (component C (place U1))", {ReadFailed}},
        {"(board)", {ReadFailed}},
        {"", {ReadFailed}},
    };
    for (const Row& row : rows) {
        WriteBytes("out.asc", "old");
        EXPECT_EQ(FormatDesign(row.text, "design", "out.asc"), ZEDID_RESULT_ERRORS) << row.text;
        EXPECT_EQ(TakeMessages(), row.messages) << row.text;
        EXPECT_EQ(ReadBytes("out.asc"), "") << row.text;
        EXPECT_FALSE(FileExists("ZEDID.TMP")) << row.text;
    }
}

TEST_F(ReaderExport, EachRunReadsItsOwnDesign) {
    const std::string good =
        "(pcb (placement (component C (place U1))) (library (image C (pin x 1))) (network (net N (pins U1-1))))";
    FormatDesign(good);
    Lines first = TakeMessages();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), "1 Parts, 1 Library Parts, 1 Nets, 1 Pins\n");
    FormatDesign("(pcb (placement (component C (place U1))))");
    EXPECT_EQ(TakeMessages(), Lines{NoNets});
    FormatDesign(good);
    EXPECT_EQ(TakeMessages(), first);
}

}  // namespace
