// A joinable worker with a keep-running flag: the owner clears the flag to ask the thread to
// stop and then joins it. Crashes on any thread are the process's crash handlers' business.
#pragma once

#include <atomic>
#include <cstdint>

#include "kernel/threads/event.h"
#include "kernel/threads/thread.h"

namespace ZephPatch {

class GuardedThread : public OS::Thread {
public:
    [[nodiscard]] bool KeepRunning() const { return m_keepRunning.load(); }
    // Safe for concurrent use; the thread stops at its next check, and a Pause under way ends
    // at once, so that an owner waiting for the thread is not kept waiting out a pause.
    void StopRunning() {
        m_keepRunning.store(false);
        OS::SetEventHandle(m_stopped);
    }

protected:
    // Waits `milliseconds`, or until StopRunning.
    void Pause(uint32_t milliseconds) { OS::WaitHandle(m_stopped, static_cast<int>(milliseconds)); }

private:
    std::atomic<bool> m_keepRunning{true};
    const OS::EventHandle m_stopped = OS::CreateEventHandle(true, false);
};

}  // namespace ZephPatch
