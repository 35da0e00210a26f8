// A few threads that run queued tasks first come, first served. For lists whose items are
// independent: the slow part of several items (reading a file, a child process) overlaps while
// the caller still takes the results in list order through the futures.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace ZephUtil {

// The hardware threads, at least 2 and at most 4, or ORVIK_WORKERS (1 to 16) when set: an
// operator can hold the installer to one core on a busy machine.
[[nodiscard]] unsigned DefaultWorkerCount();

class WorkerPool {
public:
    explicit WorkerPool(unsigned workers = DefaultWorkerCount());
    // Drops the tasks not started yet (their futures report a broken promise) and waits for
    // the running ones.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues `task`; its future holds the result once a worker ran it. Safe for concurrent use.
    template <typename Task>
    [[nodiscard]] auto Submit(Task&& task) -> std::future<std::invoke_result_t<Task>> {
        using Result = std::invoke_result_t<Task>;
        auto packaged = std::make_shared<std::packaged_task<Result()>>(std::forward<Task>(task));
        std::future<Result> result = packaged->get_future();
        Queue([packaged] { (*packaged)(); });
        return result;
    }

private:
    void Queue(std::function<void()> task);
    void Work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

}  // namespace ZephUtil
