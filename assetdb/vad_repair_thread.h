// Runs the product utility's database repair and reports everything it writes.
#pragma once

#include <memory>
#include <string>

#include "assetdb/guarded_thread.h"
#include "kernel/reporter.h"
#include "kernel/threads/child_process.h"
#include "kernel/threads/mutex.h"

namespace ZephPatch {

class VADRepairThread : public GuardedThread {
public:
    VADRepairThread(std::string installPath, ProgressSink& sink)
        : m_installPath(std::move(installPath)), m_sink(sink) {}

    // Asks the thread to stop and ends the utility, if one runs, with exit code 1. Safe for
    // concurrent use.
    void TerminateUtility();

protected:
    [[nodiscard]] int Run() override;

private:
    void ReportOutput(ZephUtil::ChildProcess& child);
    void WaitForUtility(ZephUtil::ChildProcess& child);

    const std::string m_installPath;
    ProgressSink& m_sink;
    OS::Mutex m_lock;                           // guards m_child
    ZephUtil::ChildProcess* m_child = nullptr;  // the running utility, not yet reaped
};

}  // namespace ZephPatch
