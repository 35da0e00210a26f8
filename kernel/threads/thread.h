// Threads of the operating-system layer. Failures throw OSException.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "kernel/threads/event.h"

namespace OS {

struct ThreadState;
using ThreadHandle = std::shared_ptr<ThreadState>;
using ThreadFunction = int (*)(void* argument);

// Starts `function(argument)` on a new thread (stack size 0 = default); its return value is the
// thread's exit code. Throws OSException when no thread could be created.
[[nodiscard]] ThreadHandle StartThread(size_t stackSize, ThreadFunction function, void* argument);
// Waits without limit and returns the exit code. Throws "Error waiting for thread to finish!"
// when the handle is null or names the calling thread.
int JoinThread(const ThreadHandle& handle);
// 0 signalled (ended), 258 timed out; milliseconds -1 waits without limit.
int WaitThread(const ThreadHandle& handle, int milliseconds);
// The handle as something WaitAnyHandle can wait for (signalled once the thread has ended).
[[nodiscard]] WaitableHandle AsWaitable(const ThreadHandle& handle);

void Sleep(uint32_t milliseconds);

class Thread {
public:
    Thread() = default;
    // Asserts that the thread has ended: a Thread must not be destroyed while it runs.
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Runs `function(argument)`, or Run() when no function is given. Asserts that a previous
    // thread has ended. True when the thread was created.
    [[nodiscard]] bool Start(ThreadFunction function = nullptr, void* argument = nullptr);
    // Exit code; 0 without waiting when no thread was started. The handle stays open.
    int Join();
    [[nodiscard]] bool IsRunning() const;
    // Waits up to `milliseconds` (kWaitNoLimit: no limit) for the thread to end; true once it
    // has ended, at once when none was started.
    bool Wait(int milliseconds) const;

protected:
    [[nodiscard]] virtual int Run() { return 0; }

private:
    ThreadHandle m_threadhandle;
};

}  // namespace OS
