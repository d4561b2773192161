// Allocation failure on generated designs, whose hash tables and pin order
// grow well past their first size, as no golden design's do: every
// allocation of a run is made to fail in turn, and each run must end with
// result 2 and a numbered message, or exactly as the run without a failure
// (which the model tests compare with the plain algorithms).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gen_design.h"
#include "support.h"

namespace {

struct Outcome {
    int result;
    std::vector<std::string> messages;
    std::string netlist;
};

Outcome Format(const std::string& text) {
    // A run that writes nothing must not show the netlist of the run before.
    std::error_code ignored;
    std::filesystem::remove("design.asc", ignored);
    TakeMessages();
    int result = FormatDesign(text);
    return {result, TakeMessages(), ReadBytes("design.asc")};
}

class GeneratedFailure : public LibraryTest {};

TEST_F(GeneratedFailure, EveryAllocationOfAGeneratedRunMayFail) {
    zedidgen::Parameters mixed;
    mixed.shape = zedidgen::Shape::Custom;
    mixed.parts = 40;
    mixed.components = 3;
    mixed.pinspercomponent = 24;
    mixed.propertiesperpart = 1;
    mixed.pinnames = zedidgen::PinNames::Mixed;
    mixed.pinorder = zedidgen::Order::Shuffled;
    mixed.connectionorder = zedidgen::Order::Shuffled;
    zedidgen::Parameters wide;
    wide.shape = zedidgen::Shape::ManyPins;
    wide.parts = 40;
    wide.pinspercomponent = 300;
    for (const zedidgen::Parameters& params : {mixed, wide}) {
        std::string text;
        zedidgen::GenerateDesign(params, text);
        Outcome reference = Format(text);
        ASSERT_LE(reference.result, 1) << zedidgen::ShapeName(params.shape);
        SweepAllocationFailures([&](AllocationFailurePoint& point) {
            point.Arm();
            Outcome run = Format(text);
            bool hit = point.Disarm();
            SCOPED_TRACE(std::string(zedidgen::ShapeName(params.shape)) + ", allocation " +
                         std::to_string(point.Failing()) + " failed");
            if (hit && run.result == ZEDID_RESULT_ERRORS) {
                EXPECT_TRUE(std::any_of(run.messages.begin(), run.messages.end(),
                                        [](const std::string& m) { return m.rfind("[FMT", 0) == 0; }));
            } else {
                EXPECT_EQ(run.result, reference.result);
                EXPECT_EQ(run.messages, reference.messages);
                EXPECT_TRUE(run.netlist == reference.netlist) << "netlists differ";
            }
        });
    }
}

}  // namespace
