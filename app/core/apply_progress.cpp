#include "app/core/apply_progress.h"

#include <algorithm>
#include <cstdio>

namespace ZephPatch {
namespace {

// A gauge the session never set up gets this many steps.
constexpr int kOwnRange = 100;
// Too few entries or too little time say nothing about the pace.
constexpr int kEntriesBeforeEstimate = 5;
constexpr double kSecondsBeforeEstimate = 1.0;

}  // namespace

void ApplyProgress::SetRange(int range) {
    m_range = range;
    m_total = 0;
}

void ApplyProgress::Start(int total) {
    if (m_range <= 0)
        m_range = kOwnRange;
    m_total = std::max(total, 0);
    m_done = 0;
    m_started = std::chrono::steady_clock::now();
}

int ApplyProgress::Step() {
    const int half = m_range / 2;
    if (m_total <= 0)
        return half;
    m_done = std::min(m_done + 1, m_total);
    return half + static_cast<int>(static_cast<long long>(m_range - half) * m_done / m_total);
}

std::string ApplyProgress::Text() const {
    if (!Counting())
        return {};
    std::string text = std::to_string(m_done) + " of " + std::to_string(m_total) + " files";
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_started;
    if (m_done >= kEntriesBeforeEstimate && elapsed.count() >= kSecondsBeforeEstimate &&
        m_done < m_total)
        text += ", " + DurationText(elapsed.count() / m_done * (m_total - m_done)) + " left";
    return text;
}

std::string DurationText(double seconds) {
    const long total = std::max(1L, static_cast<long>(seconds + 0.5));
    char text[32];
    if (total < 60)
        std::snprintf(text, sizeof text, "%ld s", total);
    else if (total < 3600)
        std::snprintf(text, sizeof text, "%ld min %02ld s", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld h %02ld min", total / 3600, total % 3600 / 60);
    return text;
}

}  // namespace ZephPatch
