// The process's completion port: one Asio io_context whose worker thread (the completion-port
// thread) runs every completion of every socket, so that responses never race each other.
// User threads only post operations and wait for them.
#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace ZephUtil {

class IOOperation;
class CPSocketManager;

// Anything that receives completions from the port.
class CPHandler {
public:
    virtual ~CPHandler() = default;
    // Runs on the completion-port thread with the system error of the completion (0 if none).
    virtual void HandleCompletion(IOOperation& operation, int error) = 0;
    [[nodiscard]] CPSocketManager* GetManager() const { return m_manager; }

protected:
    CPSocketManager* m_manager = nullptr;
};

// The process has one manager, held through SocketManagerHold.
class CPSocketManager {
public:
    CPSocketManager(const CPSocketManager&) = delete;
    CPSocketManager& operator=(const CPSocketManager&) = delete;

    asio::io_context& Context() { return m_io; }
    // Queues a completion of `operation` with no bytes and no error, as a post to the port.
    void PostCompletion(IOOperation& operation);
    // Runs `work` on the completion-port thread and returns when it is done (at once when
    // called there): every call on a socket object happens on that one thread.
    void RunOnPort(const std::function<void()>& work);

private:
    friend class SocketManagerHold;
    class WorkerThread;

    // The first Acquire creates the manager with one worker thread, the last Release stops the
    // worker and destroys it. Safe for concurrent use; Release must not be called on the
    // completion-port thread.
    [[nodiscard]] static CPSocketManager* Acquire();
    static void Release();

    explicit CPSocketManager(int threads);
    ~CPSocketManager();

    asio::io_context m_io;
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    std::vector<std::unique_ptr<WorkerThread>> m_workers;
};

// Keeps the process's manager running while it lives: the first hold starts the port's thread,
// the last one stops it. Whoever owns sockets holds it for at least as long as they live; the
// programs hold one from start-up to exit. Not to be destroyed on the completion-port thread.
class SocketManagerHold {
public:
    SocketManagerHold() : m_manager(CPSocketManager::Acquire()) {}
    ~SocketManagerHold() { CPSocketManager::Release(); }
    SocketManagerHold(const SocketManagerHold&) = delete;
    SocketManagerHold& operator=(const SocketManagerHold&) = delete;

    [[nodiscard]] CPSocketManager* Get() const { return m_manager; }

private:
    CPSocketManager* m_manager;
};

// True on the completion-port thread.
[[nodiscard]] bool IsInIOCPThread();
[[nodiscard]] inline bool IsInUserlandThread() {
    return !IsInIOCPThread();
}
// A number for the calling thread, never -1 and never that of another thread of the process.
[[nodiscard]] long CurrentThreadId();

// One completion reaching the port's thread: the operation moves to STATE_CAUGHT, keeps the
// byte count and goes to its handler.
void DeliverCompletion(IOOperation& operation, int error, size_t bytes);

}  // namespace ZephUtil
