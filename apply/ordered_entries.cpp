#include "apply/ordered_entries.h"

#include <chrono>

namespace ZephPatch {

bool OrderedEntries::Run(const Step& step) {
    auto entry = std::make_unique<Entry>(m_reporter);
    m_deferred = nullptr;
    entry->ok = step(*entry);
    if (entry->ok && m_deferred) {
        entry->rest = Pool().Submit(
            [target = entry.get(), rest = std::move(m_deferred)] { return rest(*target); });
    }
    m_deferred = nullptr;
    const bool ok = entry->ok;
    m_inFlight.push_back(std::move(entry));
    return ok ? PassOnFinished(false) : Settle();
}

void OrderedEntries::Defer(Step rest) {
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
        for (const auto& [level, text] : entry.lines)
            m_reporter.Report(level, text);
        // After a failure the later entries' work may still run: they stay in flight, unheard,
        // until the pool has waited for it.
        m_failed = !entry.ok;
        if (!m_failed)
            m_inFlight.pop_front();
    }
    return !m_failed;
}

}  // namespace ZephPatch
