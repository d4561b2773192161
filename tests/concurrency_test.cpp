// Calls from two threads at once: the run state exists once, so a call
// made while another runs is refused with result 2 and no message, never
// raced. Built with ThreadSanitizer too (tools/check.sh tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support.h"
#include "zedid.h"

namespace {

using Lines = std::vector<std::string>;

// Threads wait here until all have arrived, round after round.
class Barrier {
public:
    explicit Barrier(int count) : count_(count) {}
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        int round = round_;
        if (++waiting_ == count_) {
            waiting_ = 0;
            round_++;
            ready_.notify_all();
            return;
        }
        ready_.wait(lock, [&] { return round_ != round; });
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    int count_;
    int waiting_ = 0;
    int round_ = 0;
};

// Each thread's messages, kept apart: the callback is told which by its
// own function.
Lines ThreadMessages[2];
int ZEDID_CALL RecordFirst(const char* text) {
    ThreadMessages[0].emplace_back(text);
    return 0;
}
int ZEDID_CALL RecordSecond(const char* text) {
    ThreadMessages[1].emplace_back(text);
    return 0;
}
const MessageCallback Recorders[2] = {RecordFirst, RecordSecond};

const Lines WorkedMessages{"4 Parts, 4 Library Parts, 3 Nets, 9 Pins\n", "Creating Netlist...",
                           "WARNING: Reference is too long 'CONN123', truncated to CONN12", "Done"};

class Concurrency : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        WriteBytes("design.ONL", ReadBytes(ZEDID_EXAMPLES "/worked.ONL"));
        ASSERT_EQ(CallExport("design", "expected.asc"), ZEDID_RESULT_WARNINGS);
        expected_ = ReadBytes("expected.asc");
        TakeMessages();
    }
    std::string expected_;
};

TEST_F(Concurrency, CallFromAnotherThreadWhileOneRunsIsRefused) {
    // The first call waits inside its callback until the second thread has
    // tried: the second call meets a run in progress every time.
    std::mutex mutex;
    std::condition_variable changed;
    bool inside = false, tried = false;
    int second = -1;
    std::thread other([&] {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return inside; });
        second = ZedidDLL90("design", "second.asc", nullptr, nullptr, RecordSecond, nullptr);
        tried = true;
        changed.notify_all();
    });
    ThreadMessages[0].clear();
    ThreadMessages[1].clear();
    static std::function<void()> meet;
    meet = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (tried) return;
        inside = true;
        changed.notify_all();
        changed.wait(lock, [&] { return tried; });
    };
    int first = ZedidDLL90("design", "first.asc", nullptr, nullptr,
                           [](const char* text) -> int {
                               meet();
                               return RecordFirst(text);
                           },
                           nullptr);
    other.join();
    EXPECT_EQ(first, ZEDID_RESULT_WARNINGS);
    EXPECT_EQ(ReadBytes("first.asc"), expected_);
    EXPECT_EQ(ThreadMessages[0], WorkedMessages);
    EXPECT_EQ(second, ZEDID_RESULT_ERRORS);
    EXPECT_TRUE(ThreadMessages[1].empty());
    EXPECT_FALSE(FileExists("second.asc"));
}

TEST_F(Concurrency, ThreadsMeetingAtABarrierNeverRace) {
    // Every round both threads call at once: each call either runs whole,
    // with its netlist and messages, or is refused without a trace.
    constexpr int Rounds = 2000;
    Barrier barrier(2);
    std::vector<int> refused[2] = {std::vector<int>(Rounds, 0), std::vector<int>(Rounds, 0)};
    std::atomic<int> faults{0};
    auto work = [&](int self) {
        const std::string output = "out" + std::to_string(self) + ".asc";
        for (int round = 0; round < Rounds; round++) {
            ThreadMessages[self].clear();
            barrier.Wait();
            int result = ZedidDLL90("design", output.c_str(), nullptr, nullptr, Recorders[self], nullptr);
            if (result == ZEDID_RESULT_ERRORS && ThreadMessages[self].empty()) {
                refused[self][round] = 1;
            } else if (result != ZEDID_RESULT_WARNINGS || ThreadMessages[self] != WorkedMessages ||
                       ReadBytes(output) != expected_) {
                faults++;
            }
        }
    };
    std::thread other(work, 1);
    work(0);
    other.join();
    EXPECT_EQ(faults.load(), 0);
    // A refused call met the other one running, so no round refuses both.
    int refusals = 0;
    for (int round = 0; round < Rounds; round++) {
        EXPECT_LT(refused[0][round] + refused[1][round], 2) << "round " << round;
        refusals += refused[0][round] + refused[1][round];
    }
    std::printf("calls refused: %d of %d\n", refusals, 2 * Rounds);
    EXPECT_FALSE(FileExists("ZEDID.TMP"));
}

}  // namespace
