// A joinable worker with a keep-running flag: the owner clears the flag to ask the thread to
// stop and then joins it. Crashes on any thread are the process's crash handlers' business.
#pragma once

#include <atomic>

#include "kernel/thread.h"

namespace ZephPatch {

class GuardedThread : public OS::Thread {
public:
    bool KeepRunning() const { return m_keepRunning.load(); }
    // Safe for concurrent use; the thread stops at its next check.
    void StopRunning() { m_keepRunning.store(false); }

private:
    std::atomic<bool> m_keepRunning{true};
};

}  // namespace ZephPatch
