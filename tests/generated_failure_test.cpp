// Allocation failure on generated designs, whose hash tables and pin order
// arrays and tables grow past their first size, as no golden design's do:
// every allocation of a run is made to fail in turn, and each run must end
// with result 2 and a numbered message, or exactly as the run without a
// failure (which the model tests compare with the plain algorithms).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "gen_design.h"
#include "support.h"

namespace {

std::string Format(const std::string& text, int* result) {
    // A run that writes nothing must not show the netlist of the run before.
    std::error_code ignored;
    std::filesystem::remove("design.asc", ignored);
    *result = FormatDesign(text);
    std::string seen = ReadBytes("design.asc");
    for (const std::string& message : TakeMessages()) seen += "\n" + message;
    return seen;
}

class GeneratedFailure : public LibraryTest {};

TEST_F(GeneratedFailure, EveryAllocationOfAGeneratedRunMayFail) {
    zedidgen::Parameters mixed;  // mixed pin lists, walked
    mixed.shape = zedidgen::Shape::Custom;
    mixed.parts = 40;
    mixed.components = 3;
    mixed.pinspercomponent = 24;
    mixed.pinnames = zedidgen::PinNames::Mixed;
    mixed.pinorder = zedidgen::Order::Shuffled;
    zedidgen::Parameters wide;  // numbers found by a table of values
    wide.shape = zedidgen::Shape::ManyPins;
    wide.parts = 40;
    wide.pinspercomponent = 300;
    for (const zedidgen::Parameters& params : {mixed, wide}) {
        std::string text;
        zedidgen::GenerateDesign(params, text);
        int expected = 0;
        std::string reference = Format(text, &expected);
        ASSERT_LE(expected, 1) << zedidgen::ShapeName(params.shape);
        SweepAllocationFailures([&](AllocationFailurePoint& point) {
            point.Arm();
            int result = 0;
            std::string seen = Format(text, &result);
            bool hit = point.Disarm();
            SCOPED_TRACE(std::string(zedidgen::ShapeName(params.shape)) + ", allocation " +
                         std::to_string(point.Failing()) + " failed");
            if (hit && result == ZEDID_RESULT_ERRORS)
                EXPECT_NE(seen.find("\n[FMT"), std::string::npos);
            else
                EXPECT_TRUE(result == expected && seen == reference) << "result " << result;
        });
    }
}

}  // namespace
