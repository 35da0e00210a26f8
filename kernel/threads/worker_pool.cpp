#include "kernel/threads/worker_pool.h"

#include <algorithm>
#include <cstdlib>

namespace ZephUtil {

unsigned DefaultWorkerCount() {
    if (const char* chosen = std::getenv("ORVIK_WORKERS")) {
        const int count = std::atoi(chosen);
        if (count >= 1 && count <= 16)
            return static_cast<unsigned>(count);
    }
    return std::clamp(std::thread::hardware_concurrency(), 2u, 4u);
}

WorkerPool::WorkerPool(unsigned workers) {
    for (unsigned i = 0; i < std::max(workers, 1u); ++i)
        m_threads.emplace_back([this] { Work(); });
}

WorkerPool::~WorkerPool() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_tasks);
    }
    dropped.clear();
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void WorkerPool::Queue(std::function<void()> task) {
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void WorkerPool::Work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_stopping)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

}  // namespace ZephUtil
