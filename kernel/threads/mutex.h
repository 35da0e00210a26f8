// Re-entrant mutex of the operating-system layer and its scoped lock.
#pragma once

#include <memory>

namespace OS {

class Mutex {
public:
    Mutex();  // throws OSException "Failed to create the mutex"
    // Destroying a mutex that is still in use is fatal ("Failed to close the mutex handle").
    virtual ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Waits without limit; the owner may lock again, each lock needs its own unlock. A mutex
    // whose owner ended while holding it counts as acquired. Throws OSException "Failed to
    // acquire the mutex" when the system refuses.
    void Lock();
    // Throws OSException "Failed to release the mutex" when the caller does not own it.
    void Unlock();

private:
    struct State;  // the system's mutex: a pthread mutex, or a Windows mutex handle
    std::unique_ptr<State> m_state;
};

class MutexLock {
public:
    explicit MutexLock(Mutex* mutex) : m_mutex(mutex) { m_mutex->Lock(); }
    virtual ~MutexLock() { m_mutex->Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex* m_mutex;
};

}  // namespace OS
