#include "tools/orbpatch/ordered_workers.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace OrbPatch {
namespace {

class OrderedRun {
public:
    OrderedRun(uint32_t count, unsigned threads) : m_count(count), m_slots(threads + 1) {}

    // A worker's next piece; false when there is none or the run failed.
    bool Take(uint32_t* piece) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return !m_failure.ok() || m_next >= m_count || m_next < m_consumed + m_slots.size();
        });
        if (!m_failure.ok() || m_next >= m_count) {
            return false;
        }
        *piece = m_next++;
        return true;
    }

    void Deliver(uint32_t piece, Result result, WorkOutput output) {
        std::lock_guard lock(m_mutex);
        if (!result.ok()) {
            FailLocked(std::move(result));
            return;
        }
        m_slots[piece % m_slots.size()] = std::move(output);
        m_changed.notify_all();
    }

    // The next output in order, or nothing once the run failed.
    std::optional<WorkOutput> Next() {
        std::unique_lock lock(m_mutex);
        auto& slot = m_slots[m_consumed % m_slots.size()];
        m_changed.wait(lock, [&] { return !m_failure.ok() || slot.has_value(); });
        if (!m_failure.ok()) {
            return std::nullopt;
        }
        std::optional<WorkOutput> output = std::move(slot);
        slot.reset();
        return output;
    }

    void Consumed() {
        std::lock_guard lock(m_mutex);
        ++m_consumed;
        m_changed.notify_all();
    }

    void Fail(Result result) {
        std::lock_guard lock(m_mutex);
        FailLocked(std::move(result));
    }

    // REQUIRES: the workers have ended.
    const Result& Failure() const { return m_failure; }

private:
    // REQUIRES: m_mutex.
    void FailLocked(Result result) {
        if (m_failure.ok()) {
            m_failure = std::move(result);
        }
        m_changed.notify_all();
    }

    const uint32_t m_count;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::optional<WorkOutput>> m_slots;
    uint32_t m_next = 0;
    uint64_t m_consumed = 0;
    Result m_failure;
};

}  // namespace

Result RunOrdered(uint32_t count, unsigned threads,
                  const std::function<Result(unsigned, uint32_t, WorkOutput*)>& produce,
                  const std::function<Result(const WorkOutput&)>& consume) {
    OrderedRun run(count, threads);
    std::vector<std::thread> workers;
    for (unsigned worker = 0; worker < threads; ++worker) {
        workers.emplace_back([&, worker] {
            uint32_t piece = 0;
            while (run.Take(&piece)) {
                WorkOutput output;
                Result result = produce(worker, piece, &output);
                run.Deliver(piece, std::move(result), std::move(output));
            }
        });
    }
    for (uint32_t piece = 0; piece < count; ++piece) {
        std::optional<WorkOutput> output = run.Next();
        if (!output) {
            break;
        }
        Result result = consume(*output);
        if (!result.ok()) {
            run.Fail(std::move(result));
            break;
        }
        run.Consumed();
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    return run.Failure();
}

}  // namespace OrbPatch
