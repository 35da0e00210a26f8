// Lets the slow part of a stage's entries (a digest, a tool run) overlap on a few threads while
// everything the user sees keeps entry order: an entry's messages are held back until every
// earlier entry has finished, and after a failed entry the later ones' messages are dropped,
// so the user reads exactly what a one-at-a-time run would have said.
// REQUIRES: one thread (the stage's) calls every member.
#pragma once

#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "apply/callbacks.h"
#include "kernel/worker_pool.h"

namespace ZephPatch {

class OrderedEntries {
public:
    OrderedEntries() = default;
    // Waits for the work started and drops the work queued.
    ~OrderedEntries() = default;
    OrderedEntries(const OrderedEntries&) = delete;
    OrderedEntries& operator=(const OrderedEntries&) = delete;

    // Runs the next entry's `step` on this thread, its messages held back; the step may hand
    // the entry's slow rest to Defer. False when this entry or an earlier one failed: every
    // earlier entry has then been waited for and the first failure's messages are out.
    bool Run(const std::function<bool()>& step);
    // From inside a step: `rest` finishes that entry on the pool, after the step returned.
    void Defer(std::function<bool()> rest);
    // Waits for every entry in flight, passing their messages on in order; false at the first
    // that failed.
    bool Settle();
    // For work ahead of the entries (read-only: nothing an earlier entry changes).
    ZephUtil::WorkerPool& Pool();

private:
    struct Entry {
        std::vector<HeldMessage> messages;
        bool ok = true;
        std::future<bool> rest;
    };
    // Passes on the entries at the front that have finished (waiting for them when `wait`);
    // false at a failed one, whose messages are the last passed on.
    bool PassOnFinished(bool wait);

    std::deque<std::unique_ptr<Entry>> m_inFlight;
    std::function<bool()> m_deferred;
    bool m_failed = false;
    // Last, so that it is the first to go: its work writes into the entries.
    std::optional<ZephUtil::WorkerPool> m_pool;  // started on first use
};

}  // namespace ZephPatch
