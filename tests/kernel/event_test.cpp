#include "kernel/threads/event.h"

#include <gtest/gtest.h>

#include <vector>

#include "kernel/system/os_exception.h"
#include "kernel/threads/thread.h"

namespace {

using OS::kWaitObject0;
using OS::kWaitTimeout;

TEST(EventTest, ManualResetStaysSignalledUntilReset) {
    auto event = OS::CreateEventHandle(true, false);
    EXPECT_EQ(OS::WaitHandle(event, 0), kWaitTimeout);
    OS::SetEventHandle(event);
    EXPECT_EQ(OS::WaitHandle(event, 0), kWaitObject0);
    EXPECT_EQ(OS::WaitHandle(event, -1), kWaitObject0);
    OS::ResetEventHandle(event);
    EXPECT_EQ(OS::WaitHandle(event, 0), kWaitTimeout);
}

TEST(EventTest, AutoResetReleasesOneWaitPerSignal) {
    auto event = OS::CreateEventHandle(false, true);
    EXPECT_EQ(OS::WaitHandle(event, 0), kWaitObject0);
    EXPECT_EQ(OS::WaitHandle(event, 0), kWaitTimeout);
    // A pulse with nobody waiting is lost, for either kind.
    OS::PulseEventHandle(event);
    EXPECT_EQ(OS::WaitHandle(event, 0), kWaitTimeout);
    auto manual = OS::CreateEventHandle(true, true);
    OS::PulseEventHandle(manual);
    EXPECT_EQ(OS::WaitHandle(manual, 0), kWaitTimeout);
}

TEST(EventTest, WaitAnyReportsFirstSignalledAndConsumesOnlyIt) {
    std::vector<OS::WaitableHandle> events = {OS::CreateEventHandle(false, false),
                                              OS::CreateEventHandle(false, true),
                                              OS::CreateEventHandle(false, true)};
    EXPECT_EQ(OS::WaitAnyHandle(3, events.data(), -1), 1);
    EXPECT_EQ(OS::WaitAnyHandle(3, events.data(), -1), 2);
    EXPECT_EQ(OS::WaitAnyHandle(3, events.data(), 0), kWaitTimeout);
}

TEST(EventTest, MoreThanSixtyFourHandlesTimeOutWithoutWaiting) {
    std::vector<OS::WaitableHandle> events;
    for (int i = 0; i < 65; ++i)
        events.push_back(OS::CreateEventHandle(true, true));
    EXPECT_EQ(OS::WaitAnyHandle(65, events.data(), -1), kWaitTimeout);
    EXPECT_EQ(OS::WaitAnyHandle(64, events.data(), -1), 0);
}

// A waiter blocked on several objects is woken by whichever is signalled, from another thread.
TEST(EventTest, BlockedWaitAnyWakesOnEventOrEndedThread) {
    auto never = OS::CreateEventHandle(true, false);
    auto wake = OS::CreateEventHandle(false, false);
    auto release = OS::CreateEventHandle(true, false);
    OS::ThreadHandle setter = OS::StartThread(
        0,
        [](void* event) {
            OS::SetEventHandle(*static_cast<OS::EventHandle*>(event));
            return 0;
        },
        &wake);
    std::vector<OS::WaitableHandle> handles = {never, wake};
    EXPECT_EQ(OS::WaitAnyHandle(2, handles.data(), -1), 1);
    EXPECT_EQ(OS::WaitHandle(wake, 0), kWaitTimeout);  // auto reset: consumed by that wait
    OS::JoinThread(setter);

    OS::ThreadHandle waiter = OS::StartThread(
        0, [](void* event) { return OS::WaitHandle(*static_cast<OS::EventHandle*>(event), -1); },
        &release);
    handles = {never, OS::AsWaitable(waiter)};
    EXPECT_EQ(OS::WaitAnyHandle(2, handles.data(), 0), kWaitTimeout);
    OS::SetEventHandle(release);
    EXPECT_EQ(OS::WaitAnyHandle(2, handles.data(), -1), 1);
    EXPECT_EQ(OS::JoinThread(waiter), kWaitObject0);
}

TEST(EventTest, NullHandlesThrowWithEmptyMessage) {
    OS::EventHandle closed = OS::CreateEventHandle(true, true);
    OS::CloseEventHandle(closed);
    try {
        OS::SetEventHandle(closed);
        FAIL() << "no exception";
    } catch (const OSException& error) {
        EXPECT_STREQ(error.what(), "");
    }
    EXPECT_THROW(OS::WaitHandle(closed, 0), OSException);
    EXPECT_THROW((void)OS::WaitAnyHandle(0, nullptr, 0), OSException);
}

}  // namespace
