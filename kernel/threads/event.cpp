#include "kernel/threads/event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kernel/system/os_exception.h"

namespace OS {

namespace {

// One lock for the state of every wait object: a wait on several objects then checks and
// consumes them atomically, and a signal hands an auto-reset object to exactly one waiter.
std::mutex g_waitLock;

}  // namespace

struct WaitObject::Waiter {
    std::condition_variable wake;
    size_t index = kMaxWaitHandles;  // set by the object that satisfied this wait
    bool Satisfied() const { return index != kMaxWaitHandles; }
};

bool WaitObject::TryConsume() {
    if (!m_signalled)
        return false;
    if (!m_manualReset)
        m_signalled = false;
    return true;
}

void WaitObject::Signal(bool pulse) {
    std::lock_guard<std::mutex> lock(g_waitLock);
    bool handedOver = false;
    for (auto& [waiter, index] : m_waiters) {
        if (waiter->Satisfied())
            continue;
        waiter->index = index;
        waiter->wake.notify_one();
        handedOver = true;
        if (!m_manualReset)
            break;
    }
    m_signalled = !pulse && (m_manualReset || !handedOver);
}

void WaitObject::Unsignal() {
    std::lock_guard<std::mutex> lock(g_waitLock);
    m_signalled = false;
}

EventHandle CreateEventHandle(bool manualReset, bool initialState) {
    return std::make_shared<Event>(manualReset, initialState);
}

static Event& Checked(const EventHandle& event) {
    if (!event)
        throw OSException();
    return *event;
}

void SetEventHandle(const EventHandle& event) {
    Checked(event).Set();
}
void ResetEventHandle(const EventHandle& event) {
    Checked(event).Reset();
}
void PulseEventHandle(const EventHandle& event) {
    Checked(event).Pulse();
}

void CloseEventHandle(EventHandle& event) {
    Checked(event);
    event.reset();
}

int WaitHandle(const WaitableHandle& handle, int milliseconds) {
    return WaitAnyHandle(1, &handle, milliseconds);
}

int WaitAnyHandle(size_t count, const WaitableHandle* handles, int milliseconds) {
    if (count > kMaxWaitHandles)
        return kWaitTimeout;
    if (count == 0 || std::any_of(handles, handles + count, [](auto& h) { return !h; }))
        throw OSException();
    std::unique_lock<std::mutex> lock(g_waitLock);
    for (size_t i = 0; i < count; ++i) {
        if (handles[i]->TryConsume())
            return static_cast<int>(i);
    }
    if (milliseconds == 0)
        return kWaitTimeout;

    WaitObject::Waiter waiter;
    for (size_t i = 0; i < count; ++i)
        handles[i]->m_waiters.emplace_back(&waiter, i);
    auto satisfied = [&] { return waiter.Satisfied(); };
    if (milliseconds < 0) {
        waiter.wake.wait(lock, satisfied);
    } else {
        waiter.wake.wait_for(lock, std::chrono::milliseconds(milliseconds), satisfied);
    }
    for (size_t i = 0; i < count; ++i) {
        auto& waiters = handles[i]->m_waiters;
        std::erase_if(waiters, [&](auto& entry) { return entry.first == &waiter; });
    }
    return waiter.Satisfied() ? static_cast<int>(waiter.index) : kWaitTimeout;
}

}  // namespace OS
