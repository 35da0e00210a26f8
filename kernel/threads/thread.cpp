#include "kernel/threads/thread.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "kernel/crash/crash.h"
#include "kernel/system/os_exception.h"

namespace OS {

// The exit code of a thread whose code cannot be read (it has not ended).
constexpr int kStillActive = 259;

// Signalled (manual reset) once the thread function has returned.
struct ThreadState : WaitObject {
    ThreadState() : WaitObject(true, false) {}
    // A handle dropped without a join must not leak the system thread.
    ~ThreadState() override {
        if (!m_joined.exchange(true))
            pthread_detach(m_thread);
    }
    void Finish(int exitCode) {
        m_exitCode = exitCode;
        Signal(false);
    }
    // Waits for the system thread itself, so that its thread-local cleanup is done too.
    void JoinSystemThread() {
        if (!m_joined.exchange(true) && pthread_join(m_thread, nullptr) != 0)
            throw OSException("Error waiting for thread to finish!");
    }

    pthread_t m_thread{};
    std::atomic<bool> m_joined{false};
    std::atomic<int> m_exitCode{kStillActive};
};

namespace {

struct StartRecord {
    ThreadFunction function;
    void* argument;
    ThreadHandle state;
};

void* Trampoline(void* raw) {
    std::unique_ptr<StartRecord> record(static_cast<StartRecord*>(raw));
    ThreadHandle state = std::move(record->state);
    ZephUtil::PrepareThreadForCrashReports();  // a stack overflow here is reported too
    int exitCode = record->function(record->argument);
    record.reset();
    state->Finish(exitCode);
    return nullptr;
}

bool IsCallingThread(const ThreadState& state) {
    return pthread_equal(state.m_thread, pthread_self()) != 0;
}

}  // namespace

ThreadHandle StartThread(size_t stackSize, ThreadFunction function, void* argument) {
    auto state = std::make_shared<ThreadState>();
    auto record = std::make_unique<StartRecord>(StartRecord{function, argument, state});
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        throw OSException();
    int result = stackSize == 0 ? 0 : pthread_attr_setstacksize(&attributes, stackSize);
    if (result == 0)
        result = pthread_create(&state->m_thread, &attributes, Trampoline, record.get());
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        state->m_joined = true;  // there is no system thread to release
        throw OSException();
    }
    record.release();  // the trampoline owns it now
    return state;
}

int WaitThread(const ThreadHandle& handle, int milliseconds) {
    if (!handle)
        throw OSException();
    return WaitHandle(handle, milliseconds);
}

WaitableHandle AsWaitable(const ThreadHandle& handle) {
    return handle;
}

int JoinThread(const ThreadHandle& handle) {
    // Waiting for oneself would never end.
    if (!handle || IsCallingThread(*handle))
        throw OSException("Error waiting for thread to finish!");
    WaitHandle(handle, kWaitNoLimit);
    handle->JoinSystemThread();
    return handle->m_exitCode;
}

void Sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Thread::~Thread() {
    if (m_threadhandle)
        ZEPH_ASSERT(WaitThread(m_threadhandle, 0) == kWaitObject0);
}

bool Thread::Start(ThreadFunction function, void* argument) {
    if (m_threadhandle) {
        ZEPH_ASSERT(WaitThread(m_threadhandle, 0) == kWaitObject0);
        m_threadhandle.reset();
    }
    if (function == nullptr) {
        function = [](void* self) { return static_cast<Thread*>(self)->Run(); };
        argument = this;
    }
    m_threadhandle = StartThread(0, function, argument);
    return true;
}

int Thread::Join() {
    return m_threadhandle ? JoinThread(m_threadhandle) : 0;
}

bool Thread::IsRunning() const {
    return !Wait(0);
}

bool Thread::Wait(int milliseconds) const {
    return !m_threadhandle || WaitThread(m_threadhandle, milliseconds) == kWaitObject0;
}

}  // namespace OS
