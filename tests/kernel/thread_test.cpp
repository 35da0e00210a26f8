#include "kernel/threads/thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "kernel/system/os_exception.h"

namespace {

class CountingThread : public OS::Thread {
public:
    std::atomic<int> runs{0};

protected:
    int Run() override { return 40 + ++runs; }
};

TEST(ThreadTest, JoinWithoutStartReturnsZero) {
    CountingThread thread;
    EXPECT_EQ(thread.Join(), 0);
    EXPECT_FALSE(thread.IsRunning());
}

TEST(ThreadTest, RunsRunAgainAfterEachStartAndJoinKeepsTheCode) {
    CountingThread thread;
    ASSERT_TRUE(thread.Start());
    EXPECT_EQ(thread.Join(), 41);
    EXPECT_EQ(thread.Join(), 41);
    ASSERT_TRUE(thread.Start());
    EXPECT_EQ(thread.Join(), 42);
}

TEST(ThreadTest, StartWithFunctionPassesArgumentAndReturnsItsCode) {
    CountingThread thread;
    int value = 5;
    ASSERT_TRUE(thread.Start([](void* p) { return *static_cast<int*>(p) * 2; }, &value));
    EXPECT_EQ(thread.Join(), 10);
    EXPECT_EQ(thread.runs, 0);
}

TEST(ThreadTest, StartThreadHonoursStackSizeAndWaitTimesOutWhileRunning) {
    auto release = OS::CreateEventHandle(true, false);
    OS::ThreadHandle handle = OS::StartThread(
        1 << 20,
        [](void* event) {
            char big[512 * 1024];  // needs more than a minimal stack
            big[0] = static_cast<char>(OS::WaitHandle(*static_cast<OS::EventHandle*>(event), -1));
            return 7 + big[0];
        },
        &release);
    EXPECT_EQ(OS::WaitThread(handle, 0), OS::kWaitTimeout);
    OS::SetEventHandle(release);
    EXPECT_EQ(OS::JoinThread(handle), 7);
    EXPECT_EQ(OS::WaitThread(handle, -1), OS::kWaitObject0);
}

TEST(ThreadTest, JoiningTheCallingThreadThrowsInsteadOfHanging) {
    static OS::ThreadHandle self;
    auto started = OS::CreateEventHandle(true, false);
    self = OS::StartThread(
        0,
        [](void* event) {
            OS::WaitHandle(*static_cast<OS::EventHandle*>(event), -1);
            try {
                OS::JoinThread(self);
            } catch (const OSException& error) {
                return std::string(error.what()) == "Error waiting for thread to finish!" ? 1 : 2;
            }
            return 3;
        },
        &started);
    OS::SetEventHandle(started);
    EXPECT_EQ(OS::JoinThread(self), 1);
    self.reset();
    EXPECT_THROW(OS::JoinThread(nullptr), OSException);
}

}  // namespace
