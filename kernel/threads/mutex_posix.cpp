#include "kernel/threads/mutex.h"

#include <pthread.h>

#include <cerrno>

#include "kernel/crash/crash.h"
#include "kernel/system/os_exception.h"

namespace OS {

struct Mutex::State {
    pthread_mutex_t mutex;
};

// Recursive for the owner's re-entry, which also makes an unlock by a non-owner fail with
// EPERM; robust so that a thread ending while it holds the mutex leaves it acquirable.
Mutex::Mutex() : m_state(std::make_unique<State>()) {
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0)
        throw OSException("Failed to create the mutex");
    int result = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (result == 0)
        result = pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (result == 0)
        result = pthread_mutex_init(&m_state->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
    if (result != 0)
        throw OSException("Failed to create the mutex");
}

// A destructor must not throw (classes holding a mutex would all inherit that); a refused
// destroy means the mutex is still in use, a broken invariant, so it is fatal instead.
Mutex::~Mutex() {
    ZephUtil::ZephAssert(pthread_mutex_destroy(&m_state->mutex) == 0,
                         "Failed to close the mutex handle");
}

void Mutex::Lock() {
    int result = pthread_mutex_lock(&m_state->mutex);
    // The previous owner ended while holding it: abandoned, which counts as acquired.
    if (result == EOWNERDEAD)
        result = pthread_mutex_consistent(&m_state->mutex);
    if (result != 0)
        throw OSException("Failed to acquire the mutex");
}

void Mutex::Unlock() {
    int result = pthread_mutex_unlock(&m_state->mutex);
    if (result == EPERM)
        throw OSException("Failed to release the mutex");
    if (result != 0)
        throw OSException();
}

}  // namespace OS
