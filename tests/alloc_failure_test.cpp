// Allocation failure: every allocation of a real design's run is made to
// fail in turn, until a run makes no allocation that the hook reaches. Each
// run must end cleanly: either with result 2 and a numbered message, or
// exactly like the run without a failure. Leaks on any of these paths are
// caught by the sanitizer build (each test is a process of its own) and by
// the memcheck stage, which runs the whole sweep in one process.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support.h"
#include "zedid.h"

namespace {

namespace fs = std::filesystem;

// What the host saw, kept small: a hash of every message and the last one.
struct Seen {
    int count;            // messages received
    std::uint64_t hash;   // FNV-1a over every message and its end
    bool numbered;        // a "[FMT" message was among them
    char last[160];       // the start of the last message, for diagnostics
};

Seen Host;

int ZEDID_CALL SeeMessage(const char* text) {
    Host.count++;
    for (const char* c = text;; c++) {
        Host.hash = (Host.hash ^ static_cast<unsigned char>(*c)) * 1099511628211ull;
        if (*c == '\0') break;
    }
    if (std::strncmp(text, "[FMT", 4) == 0) Host.numbered = true;
    std::strncpy(Host.last, text, sizeof Host.last - 1);
    Host.last[sizeof Host.last - 1] = '\0';
    return 0;
}

struct Outcome {
    int result;
    Seen seen;
    std::string netlist;
    bool temporary;  // "ZEDID.TMP" was left behind
};

Outcome RunOnce() {
    Host = Seen{0, 14695981039346656037ull, false, ""};
    int result = ZedidDLL90("design", "design.asc", nullptr, nullptr, SeeMessage, nullptr);
    return {result, Host, ReadBytes("design.asc"), FileExists("ZEDID.TMP")};
}

// The designs of the examples and the golden cases: real runs, successful
// and failing ones.
std::vector<fs::path> Designs() {
    std::vector<fs::path> designs;
    for (const char* root : {ZEDID_EXAMPLES, ZEDID_TEST_DATA "/golden"}) {
        std::error_code missing;
        for (fs::recursive_directory_iterator it(root, missing), end; !missing && it != end; it.increment(missing)) {
            std::string extension = it->path().extension().string();
            if (it->is_regular_file() && (extension == ".ONL" || extension == ".onl")) designs.push_back(it->path());
        }
    }
    return designs;
}

class AllocationFailure : public LibraryTest {};

TEST_F(AllocationFailure, EveryAllocationOfARunMayFail) {
    std::vector<fs::path> designs = Designs();
    ASSERT_FALSE(designs.empty()) << "no example or golden design found";
    for (const fs::path& design : designs) {
        SCOPED_TRACE(design.string());
        WriteBytes("design.ONL", ReadBytes(design.string()));
        SetAllocationFailure(-1);
        Outcome reference = RunOnce();
        long allocations = SetAllocationFailure(-1);
        ASSERT_GT(allocations, 0);

        long made = SweepAllocationFailures([&](AllocationFailurePoint& point) {
            point.Arm();
            Outcome run = RunOnce();
            bool hit = point.Disarm();
            SCOPED_TRACE("allocation " + std::to_string(point.Failing()) + " of " + std::to_string(allocations) +
                         " failed; result " + std::to_string(run.result) + ", last message \"" + run.seen.last + "\"");
            EXPECT_FALSE(run.temporary);
            if (hit && run.result == ZEDID_RESULT_ERRORS) {
                // A failure that changed the run is an error with its message.
                EXPECT_TRUE(run.seen.numbered);
            } else {
                // Past the last allocation the run is the reference run; so
                // is any other run with a failure: a result of 0 or 1 with
                // a different file would be lost data.
                EXPECT_EQ(run.result, reference.result);
                EXPECT_EQ(run.seen.hash, reference.seen.hash);
                EXPECT_EQ(run.netlist, reference.netlist);
            }
        });
        if (!HasFailure()) {
            EXPECT_EQ(made, allocations);
        }
    }
}

}  // namespace
