// Unnamed events and the waits of the operating-system layer. A wait can be satisfied by an
// event or by a thread that has ended (see AsWaitable in thread.h). Safe for concurrent use.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace OS {

// Results of the waits.
constexpr int kWaitObject0 = 0;
constexpr int kWaitTimeout = 258;
constexpr int kWaitNoLimit = -1;
// More handles than this make WaitAnyHandle time out without waiting.
constexpr size_t kMaxWaitHandles = 64;

// Something a wait can be satisfied by. Manual reset: stays signalled and releases every
// waiter. Auto reset: a satisfied wait consumes the signal, releasing one waiter.
class WaitObject {
public:
    WaitObject(bool manualReset, bool signalled)
        : m_manualReset(manualReset), m_signalled(signalled) {}
    virtual ~WaitObject() = default;
    WaitObject(const WaitObject&) = delete;
    WaitObject& operator=(const WaitObject&) = delete;

protected:
    // Releases waiters as the reset mode says; a pulse leaves the object unsignalled after.
    void Signal(bool pulse);
    void Unsignal();

private:
    struct Waiter;
    friend int WaitAnyHandle(size_t, const std::shared_ptr<WaitObject>*, int);
    [[nodiscard]] bool TryConsume();  // REQUIRES: the wait lock

    const bool m_manualReset;
    bool m_signalled;
    std::vector<std::pair<Waiter*, size_t>> m_waiters;  // waiter and its index in its wait
};

using WaitableHandle = std::shared_ptr<WaitObject>;

class Event : public WaitObject {
public:
    using WaitObject::WaitObject;
    void Set() { Signal(false); }
    void Reset() { Unsignal(); }
    void Pulse() { Signal(true); }
};

using EventHandle = std::shared_ptr<Event>;

// A null handle makes every wrapper below throw OSException with an empty message.
[[nodiscard]] EventHandle CreateEventHandle(bool manualReset, bool initialState);
void SetEventHandle(const EventHandle& event);
void ResetEventHandle(const EventHandle& event);
// Releases the waiters waiting now (all, or one for auto reset) and leaves it unsignalled.
void PulseEventHandle(const EventHandle& event);
// Drops this reference; waits that hold their own copy are unaffected.
void CloseEventHandle(EventHandle& event);

// kWaitObject0 when signalled, kWaitTimeout after `milliseconds` (kWaitNoLimit: none).
int WaitHandle(const WaitableHandle& handle, int milliseconds);
// Index of the first signalled handle, or kWaitTimeout; more than kMaxWaitHandles handles
// give kWaitTimeout at once. No handles, or a null one, throw OSException.
[[nodiscard]] int WaitAnyHandle(size_t count, const WaitableHandle* handles, int milliseconds);

}  // namespace OS
