// Shared test helpers: a private working directory per test, a host callback
// that records every message line, whole-file reads and writes, the base
// fixture of the library's tests and the allocation-failure sweep.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files_testing.h"
#include "platform/memory_testing.h"
#include "platform/platform.h"
#include "zedid.h"

// Creates a fresh directory, makes it the current directory for the test's
// lifetime (the library writes "ZEDID.TMP" there), then removes it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

// A host callback that appends each message line to Messages().
int ZEDID_CALL RecordMessage(const char* text);
std::vector<std::string>& Messages();
// The recorded lines, which are then forgotten.
std::vector<std::string> TakeMessages();

void WriteBytes(const std::string& name, const std::string& bytes);
std::string ReadBytes(const std::string& name);
bool FileExists(const std::string& name);

// Calls the export as a host does, recording messages.
int CallExport(const char* base, const char* output, const char* second = nullptr);

// Writes BASE.ONL with TEXT and calls the export with BASE and OUTPUT.
int FormatDesign(const std::string& text, const std::string& base = "design",
                 const std::string& output = "design.asc");

// The fixture every library test starts from: a private working directory,
// no recorded messages before, and after the test, whatever it left, the
// failure hooks disarmed, the channel files closed, the run state released,
// the host disconnected and the recorded messages dropped.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    ScratchDirectory scratch_;
};

// A LibraryTest for a module called directly rather than through the
// export: the recording callback is connected as the host and the message
// line starts empty.
class ConnectedTest : public LibraryTest {
protected:
    void SetUp() override;
};

// One step of an allocation-failure sweep: allocation Failing() counted from
// Arm() fails. Disarm() as soon as the operation under test returns; it
// tells whether the operation reached that allocation.
class AllocationFailurePoint {
public:
    explicit AllocationFailurePoint(long failing) : failing_(failing) {}
    long Failing() const { return failing_; }
    void Arm();
    bool Disarm();
    bool Armed() const { return armed_; }
    bool Hit() const { return hit_; }

private:
    long failing_;
    bool armed_ = false;
    bool hit_ = false;
};

// Runs STEP once for every allocation an operation makes, making the first,
// then the second, ... allocation fail, until a step's operation reached no
// failing allocation (a step that never disarms is disarmed after it). STEP
// takes an AllocationFailurePoint& and checks its own outcome; a step whose
// operation was not reached must show the run with memory to spare. Gives
// the allocations the operation makes. The sweep stops at the first step
// that failed the test; past LIMIT steps the test fails.
template <typename Step>
long SweepAllocationFailures(Step step, long limit = 100000) {
    for (long failing = 0;; failing++) {
        AllocationFailurePoint point(failing);
        step(point);
        if (point.Armed()) point.Disarm();
        if (!point.Hit()) return failing;
        // One faulty allocation tells enough.
        if (::testing::Test::HasFailure()) return failing;
        if (failing >= limit) {
            ADD_FAILURE() << "the operation never finished without a failure";
            return failing;
        }
    }
}
