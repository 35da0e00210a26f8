// Lets the slow part of a stage's entries (a digest, a tool run) overlap on a few threads while
// everything the user sees keeps entry order: an entry's lines are held back until every
// earlier entry has finished, and after a failed entry the later ones' lines are dropped,
// so the user reads exactly what a one-at-a-time run would have said.
// REQUIRES: one thread (the stage's) calls every member.
#pragma once

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kernel/reporter.h"
#include "kernel/threads/worker_pool.h"

namespace ZephPatch {

class OrderedEntries {
public:
    // Each entry reports to its own reporter; its lines reach `reporter` in entry order, from
    // the stage's thread.
    explicit OrderedEntries(Reporter& reporter) : m_reporter(reporter) {}
    // Waits for the work started and drops the work queued.
    ~OrderedEntries() = default;
    OrderedEntries(const OrderedEntries&) = delete;
    OrderedEntries& operator=(const OrderedEntries&) = delete;

    using Step = std::function<bool(Reporter& entryReporter)>;

    // Runs the next entry's `step` on this thread with the entry's reporter; the step may hand
    // the entry's slow rest to Defer. False when this entry or an earlier one failed: every
    // earlier entry has then been waited for and the first failure's lines are out.
    [[nodiscard]] bool Run(const Step& step);
    // From inside a step: `rest` finishes that entry on the pool, after the step returned,
    // with the same entry reporter.
    void Defer(Step rest);
    // Waits for every entry in flight, passing their lines on in order; false at the first
    // that failed.
    [[nodiscard]] bool Settle();
    // For work ahead of the entries (read-only: nothing an earlier entry changes).
    ZephUtil::WorkerPool& Pool();

private:
    // Keeps the entry's lines until its turn; asks the stage's reporter everything else. The
    // step writes first, then the rest, never both at once.
    struct Entry final : Reporter {
        explicit Entry(Reporter& outer) : outer(outer) {}
        void Report(ReportLevel level, const std::string& utf8) override {
            lines.emplace_back(level, utf8);
        }
        [[nodiscard]] bool ShouldContinue() override { return outer.ShouldContinue(); }
        [[nodiscard]] bool Listens() const override { return outer.Listens(); }

        Reporter& outer;
        std::vector<std::pair<ReportLevel, std::string>> lines;
        bool ok = true;
        std::future<bool> rest;
    };
    // Passes on the entries at the front that have finished (waiting for them when `wait`);
    // false at a failed one, whose lines are the last passed on.
    [[nodiscard]] bool PassOnFinished(bool wait);

    Reporter& m_reporter;
    std::deque<std::unique_ptr<Entry>> m_inFlight;
    Step m_deferred;
    bool m_failed = false;
    // Last, so that it is the first to go: its work writes into the entries.
    std::optional<ZephUtil::WorkerPool> m_pool;  // started on first use
};

}  // namespace ZephPatch
