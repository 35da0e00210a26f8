#include "kernel/threads/mutex.h"

#include <gtest/gtest.h>

#include <string>

#include "kernel/system/os_exception.h"
#include "kernel/threads/thread.h"

namespace {

std::string UnlockError(OS::Mutex& mutex) {
    try {
        mutex.Unlock();
    } catch (const OSException& error) {
        return error.what();
    }
    return "no exception";
}

struct Shared {
    OS::Mutex mutex;
    OS::EventHandle acquired = OS::CreateEventHandle(true, false);
    std::string error;
};

int LockAndSignal(void* raw) {
    auto* shared = static_cast<Shared*>(raw);
    OS::MutexLock lock(&shared->mutex);
    OS::SetEventHandle(shared->acquired);
    return 0;
}

TEST(MutexTest, OwnerMayLockAgainAndEachLockNeedsItsUnlock) {
    Shared shared;
    shared.mutex.Lock();
    shared.mutex.Lock();
    shared.mutex.Unlock();
    OS::ThreadHandle other = OS::StartThread(0, LockAndSignal, &shared);
    // Still held once: the other thread cannot get in.
    EXPECT_EQ(OS::WaitHandle(shared.acquired, 50), OS::kWaitTimeout);
    shared.mutex.Unlock();
    EXPECT_EQ(OS::WaitHandle(shared.acquired, -1), OS::kWaitObject0);
    OS::JoinThread(other);
    EXPECT_EQ(UnlockError(shared.mutex), "Failed to release the mutex");  // not held at all
}

TEST(MutexTest, UnlockFromAThreadThatDoesNotHoldItThrows) {
    Shared shared;
    OS::MutexLock lock(&shared.mutex);
    OS::ThreadHandle other = OS::StartThread(
        0,
        [](void* raw) {
            auto* shared = static_cast<Shared*>(raw);
            shared->error = UnlockError(shared->mutex);
            return 0;
        },
        &shared);
    OS::JoinThread(other);
    EXPECT_EQ(shared.error, "Failed to release the mutex");
}

TEST(MutexTest, MutexOfAnEndedOwnerCountsAsAcquired) {
    Shared shared;
    OS::ThreadHandle owner = OS::StartThread(
        0,
        [](void* raw) {
            static_cast<Shared*>(raw)->mutex.Lock();
            return 0;
        },
        &shared);
    OS::JoinThread(owner);
    shared.mutex.Lock();
    shared.mutex.Unlock();
}

}  // namespace
