// Gauges that follow elapsed time while an external program works without telling how far it
// has got. Each moves the gauge in 500 ms steps and stops as soon as it is told to. `sleep`
// makes the steps' pauses in place of the thread's own, which StopRunning cuts short.
#pragma once

#include <cstdint>

#include "assetdb/guarded_thread.h"
#include "assetdb/pacing.h"
#include "kernel/reporter.h"

namespace ZephPatch {

// During the database repair: starts half full and fills the second half over ten minutes;
// full once stopped.
class VADRepairProgressThread : public GuardedThread {
public:
    explicit VADRepairProgressThread(ProgressSink& sink, SleepFunction sleep = {})
        : m_sink(sink), m_sleep(std::move(sleep)) {}

protected:
    [[nodiscard]] int Run() override;

private:
    void Step(uint32_t milliseconds);

    ProgressSink& m_sink;
    SleepFunction m_sleep;
};

// While one patch archive is unpacked and applied: reaches half at the expected duration and
// stays there.
class VADHackProgressThread : public GuardedThread {
public:
    VADHackProgressThread(ProgressSink& sink, int32_t minutes, SleepFunction sleep = {})
        : m_sink(sink), m_minutes(minutes), m_sleep(std::move(sleep)) {}

    // The expected duration for an archive of `bytes`: two minutes per MiB, at most ten, whole
    // minutes.
    [[nodiscard]] static int32_t MinutesForArchive(uint64_t bytes);

protected:
    [[nodiscard]] int Run() override;

private:
    void Step(uint32_t milliseconds);

    ProgressSink& m_sink;
    int32_t m_minutes;
    SleepFunction m_sleep;
};

}  // namespace ZephPatch
