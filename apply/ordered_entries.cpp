#include "apply/ordered_entries.h"

#include <chrono>

namespace ZephPatch {

bool OrderedEntries::Run(const std::function<bool()>& step) {
    auto entry = std::make_unique<Entry>();
    m_deferred = nullptr;
    {
        HoldMessages hold(&entry->messages);
        entry->ok = step();
    }
    if (entry->ok && m_deferred) {
        Entry* target = entry.get();
        entry->rest = Pool().Submit([target, rest = std::move(m_deferred)] {
            HoldMessages hold(&target->messages);
            return rest();
        });
    }
    m_deferred = nullptr;
    const bool ok = entry->ok;
    m_inFlight.push_back(std::move(entry));
    return ok ? PassOnFinished(false) : Settle();
}

void OrderedEntries::Defer(std::function<bool()> rest) {
    m_deferred = std::move(rest);
}

bool OrderedEntries::Settle() {
    return PassOnFinished(true);
}

ZephUtil::WorkerPool& OrderedEntries::Pool() {
    if (!m_pool)
        m_pool.emplace();
    return *m_pool;
}

bool OrderedEntries::PassOnFinished(bool wait) {
    while (!m_failed && !m_inFlight.empty()) {
        Entry& entry = *m_inFlight.front();
        if (entry.rest.valid()) {
            if (!wait && entry.rest.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
                return true;
            entry.ok = entry.rest.get();
        }
        PassOn(entry.messages);
        // After a failure the later entries' work may still run: they stay in flight, unheard,
        // until the pool has waited for it.
        m_failed = !entry.ok;
        if (!m_failed)
            m_inFlight.pop_front();
    }
    return !m_failed;
}

}  // namespace ZephPatch
