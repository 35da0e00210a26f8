#include "kernel/crash/crash.h"
#include "kernel/system/os_exception.h"
#include "kernel/system/windows_support.h"
#include "kernel/threads/mutex.h"

namespace OS {

// An unnamed system mutex: re-entrant for its owner, released only by its owner, and
// abandoned (which counts as acquired) when its owner ends while holding it.
struct Mutex::State {
    HANDLE handle;
};

Mutex::Mutex() : m_state(std::make_unique<State>()) {
    m_state->handle = CreateMutexW(nullptr, FALSE, nullptr);
    if (!m_state->handle)
        throw OSException("Failed to create the mutex");
}

// A destructor must not throw; a refused close is a broken invariant, so it is fatal instead.
Mutex::~Mutex() {
    ZephUtil::ZephAssert(CloseHandle(m_state->handle), "Failed to close the mutex handle");
}

void Mutex::Lock() {
    const DWORD result = WaitForSingleObject(m_state->handle, INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
        throw OSException("Failed to acquire the mutex");
}

void Mutex::Unlock() {
    if (ReleaseMutex(m_state->handle))
        return;
    if (GetLastError() == ERROR_NOT_OWNER)
        throw OSException("Failed to release the mutex");
    throw OSException();
}

}  // namespace OS
