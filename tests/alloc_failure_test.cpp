// Allocation failure: every allocation of a real design's run is made to
// fail in turn, until a run makes no allocation that the hook reaches. Each
// run must end cleanly: either with result 2 and a numbered message, or
// exactly like the run without a failure. Nothing may stay allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/platform.h"
#include "support.h"
#include "zedid.h"

namespace {

namespace fs = std::filesystem;

// What the host saw, gathered without touching the heap, so that the heap
// in use can be compared before and after a run.
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

// Heap bytes in use, where the C library tells; the sanitizer and valgrind
// builds find leaks themselves and report nothing here.
std::size_t HeapInUse() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
    return mallinfo2().uordblks;
#else
    return 0;
#endif
}

struct Outcome {
    int result;
    Seen seen;
    std::string netlist;
    bool temporary;      // "ZEDID.TMP" was left behind
    std::size_t leaked;  // heap bytes the run left in use
};

Outcome RunOnce() {
    Host = Seen{0, 14695981039346656037ull, false, ""};
    std::size_t before = HeapInUse();
    int result = ZedidDLL90("design", "design.asc", nullptr, nullptr, SeeMessage, nullptr);
    std::size_t after = HeapInUse();
    return {result, Host, ReadBytes("design.asc"), FileExists("ZEDID.TMP"), after > before ? after - before : 0};
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

class AllocationFailure : public ::testing::Test {
protected:
    void TearDown() override { SetAllocationFailure(-1); }
    ScratchDirectory scratch_;
};

TEST_F(AllocationFailure, EveryAllocationOfARunMayFail) {
    std::vector<fs::path> designs = Designs();
    ASSERT_FALSE(designs.empty()) << "no example or golden design found";
    for (const fs::path& design : designs) {
        SCOPED_TRACE(design.string());
        WriteBytes("design.ONL", ReadBytes(design.string()));
        // A first run takes the C library's one-time allocations out of the
        // comparison of heap use.
        RunOnce();
        SetAllocationFailure(-1);
        Outcome reference = RunOnce();
        long allocations = SetAllocationFailure(-1);
        ASSERT_GT(allocations, 0);
        EXPECT_EQ(reference.leaked, 0u);

        for (long n = 0;; n++) {
            SetAllocationFailure(n);
            Outcome run = RunOnce();
            bool hit = SetAllocationFailure(-1) > n;
            SCOPED_TRACE("allocation " + std::to_string(n) + " of " + std::to_string(allocations) +
                         " failed; result " + std::to_string(run.result) + ", last message \"" + run.seen.last + "\"");
            EXPECT_FALSE(run.temporary);
            EXPECT_EQ(run.leaked, 0u);
            if (!hit) {
                // Past the last allocation: the run is the reference run.
                EXPECT_EQ(run.result, reference.result);
                EXPECT_EQ(run.seen.hash, reference.seen.hash);
                EXPECT_EQ(run.netlist, reference.netlist);
                EXPECT_EQ(n, allocations);
                break;
            }
            if (run.result == ZEDID_RESULT_ERRORS) {
                // A failure that changed the run is an error with its message.
                EXPECT_TRUE(run.seen.numbered);
            } else {
                // Anything else must be as if nothing had failed: a result
                // of 0 or 1 with a different file would be lost data.
                EXPECT_EQ(run.result, reference.result);
                EXPECT_EQ(run.seen.hash, reference.seen.hash);
                EXPECT_EQ(run.netlist, reference.netlist);
            }
            if (HasFailure()) break;  // one faulty allocation tells enough
        }
    }
}

}  // namespace
