#include <gtest/gtest.h>

#include <vector>

#include "assetdb/vad_progress_threads.h"
#include "test_support.h"

namespace ZephPatch {
namespace {

using Testing::RecordingSink;

// Steps without waiting; asks `thread` to stop during step number `stopAt` (1-based).
struct SteppingClock {
    GuardedThread* thread = nullptr;
    int stopAt = 0;
    std::vector<uint32_t> sleeps;

    SleepFunction Function() {
        return [this](uint32_t milliseconds) {
            sleeps.push_back(milliseconds);
            if (static_cast<int>(sleeps.size()) == stopAt)
                thread->StopRunning();
        };
    }
};

void RunToEnd(GuardedThread& thread) {
    ASSERT_TRUE(thread.Start());
    EXPECT_EQ(thread.Join(), 0);
}

TEST(VADRepairProgressThread, FillsTheSecondHalfOverTenMinutesThenShowsFull) {
    RecordingSink sink;
    SteppingClock clock;
    VADRepairProgressThread thread(sink, clock.Function());
    RunToEnd(thread);

    EXPECT_EQ(sink.Ranges(), (std::vector<int>{1201000, 1}));
    const std::vector<int> values = sink.Values();
    ASSERT_EQ(values.size(), 1202u);
    EXPECT_EQ(values[0], 600000);
    EXPECT_EQ(values[1], 600500);
    EXPECT_EQ(values[2], 601000);
    EXPECT_EQ(values[1200], 1200000);  // after 10 minutes of 500 ms steps it stops advancing
    EXPECT_EQ(values[1201], 1);
    EXPECT_EQ(clock.sleeps.size(), 1200u);
    EXPECT_EQ(clock.sleeps.front(), 500u);
    EXPECT_EQ(sink.Events().front().kind, RecordingSink::Event::kRange);
}

TEST(VADRepairProgressThread, StopsAtTheNextStepAndShowsFull) {
    RecordingSink sink;
    SteppingClock clock;
    clock.stopAt = 3;
    VADRepairProgressThread thread(sink, clock.Function());
    clock.thread = &thread;
    RunToEnd(thread);

    EXPECT_EQ(sink.Values(), (std::vector<int>{600000, 600500, 601000, 601500, 1}));
    EXPECT_EQ(sink.Ranges(), (std::vector<int>{1201000, 1}));
}

TEST(VADHackProgressThread, ZeroMinutesIsARangeOfTwoEndingAtHalf) {
    RecordingSink sink;
    SteppingClock clock;
    VADHackProgressThread thread(sink, 0, clock.Function());
    RunToEnd(thread);

    EXPECT_EQ(sink.Ranges(), (std::vector<int>{2}));
    EXPECT_EQ(sink.Values(), (std::vector<int>{0, 1}));
}

TEST(VADHackProgressThread, ReachesHalfAtTheExpectedTime) {
    RecordingSink sink;
    SteppingClock clock;
    VADHackProgressThread thread(sink, 1, clock.Function());
    RunToEnd(thread);

    EXPECT_EQ(sink.Ranges(), (std::vector<int>{120000}));
    const std::vector<int> values = sink.Values();
    ASSERT_EQ(values.size(), 121u);
    for (size_t i = 0; i < 120; ++i)
        ASSERT_EQ(values[i], static_cast<int>(i) * 500);
    EXPECT_EQ(values.back(), 60000);
}

TEST(VADHackProgressThread, StoppedEarlyStillEndsAtHalf) {
    RecordingSink sink;
    SteppingClock clock;
    clock.stopAt = 2;
    VADHackProgressThread thread(sink, 3, clock.Function());
    clock.thread = &thread;
    RunToEnd(thread);

    EXPECT_EQ(sink.Values(), (std::vector<int>{0, 500, 180000}));
}

// An owner that stops a thread and joins it waits for no pause to run out.
TEST(GuardedThread, StopEndsAPauseAtOnce) {
    struct Pausing : GuardedThread {
        int Run() override {
            Pause(3'600'000);
            return KeepRunning() ? 1 : 0;
        }
    } thread;
    ASSERT_TRUE(thread.Start());
    thread.StopRunning();
    EXPECT_EQ(thread.Join(), 0);
}

TEST(VADHackProgressThread, MinutesForAnArchive) {
    constexpr uint64_t kMiB = 1024 * 1024;
    EXPECT_EQ(VADHackProgressThread::MinutesForArchive(0), 0);
    EXPECT_EQ(VADHackProgressThread::MinutesForArchive(kMiB / 2 - 1), 0);
    EXPECT_EQ(VADHackProgressThread::MinutesForArchive(kMiB / 2), 1);
    EXPECT_EQ(VADHackProgressThread::MinutesForArchive(27 * kMiB / 10), 5);
    EXPECT_EQ(VADHackProgressThread::MinutesForArchive(5 * kMiB), 10);
    EXPECT_EQ(VADHackProgressThread::MinutesForArchive(4096 * kMiB), 10);
}

}  // namespace
}  // namespace ZephPatch
