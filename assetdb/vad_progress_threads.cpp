#include "assetdb/vad_progress_threads.h"

#include <algorithm>

namespace ZephPatch {
namespace {

constexpr uint32_t kStepMilliseconds = 500;
constexpr int kRepairRange = 1201000;
constexpr int kRepairStart = 600000;
constexpr int kRepairFirstStep = 600500;
constexpr int kRepairSpan = 600000;  // ten minutes of steps
constexpr int kMillisecondsPerMinute = 60000;
constexpr int32_t kMaxArchiveMinutes = 10;

}  // namespace

int VADRepairProgressThread::Run() {
    m_sink.SetGaugeRange(kRepairRange);
    m_sink.SetGaugeValue(kRepairStart);
    for (int elapsed = 0; KeepRunning() && elapsed < kRepairSpan; elapsed += kStepMilliseconds) {
        Step(kStepMilliseconds);
        m_sink.SetGaugeValue(kRepairFirstStep + elapsed);
    }
    m_sink.SetGaugeRange(1);
    m_sink.SetGaugeValue(1);
    return 0;
}

void VADRepairProgressThread::Step(uint32_t milliseconds) {
    m_sleep ? m_sleep(milliseconds) : Pause(milliseconds);
}

void VADHackProgressThread::Step(uint32_t milliseconds) {
    m_sleep ? m_sleep(milliseconds) : Pause(milliseconds);
}

int32_t VADHackProgressThread::MinutesForArchive(uint64_t bytes) {
    return static_cast<int32_t>(std::min<uint64_t>(2 * bytes / (1024 * 1024), kMaxArchiveMinutes));
}

int VADHackProgressThread::Run() {
    const int count = m_minutes > 0 ? m_minutes * kMillisecondsPerMinute : 1;
    m_sink.SetGaugeRange(2 * count);
    for (int elapsed = 0; elapsed < count && KeepRunning(); elapsed += kStepMilliseconds) {
        m_sink.SetGaugeValue(elapsed);
        Step(kStepMilliseconds);
    }
    m_sink.SetGaugeValue(count);
    return 0;
}

}  // namespace ZephPatch
