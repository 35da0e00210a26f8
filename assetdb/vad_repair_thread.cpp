#include "assetdb/vad_repair_thread.h"

#include "assetdb/messages.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"
#include "kernel/system/text.h"

namespace ZephPatch {
namespace {

// The utility's standard output is progress, its error output secondary information.
constexpr ReportLevel kOutputLevel = ReportLevel::kStep;
constexpr ReportLevel kErrorOutputLevel = ReportLevel::kInfo;
constexpr int kCancelExitCode = 1;

// The utility's bytes as the front end's UTF-8 (a broken sequence becomes U+FFFD), its lines
// ending in "\n" as the front end's do, also when a Windows program ended them in "\r\n".
std::string AsUtf8(std::string bytes) {
    for (size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at))
        bytes.erase(at, 1);
    return ZephUtil::Utf16ToUtf8(ZephUtil::Utf8ToUtf16(bytes));
}

}  // namespace

void VADRepairThread::TerminateUtility() {
    OS::MutexLock lock(&m_lock);
    StopRunning();
    if (m_child)
        ZephUtil::TerminateChildProcess(*m_child, kCancelExitCode);
}

int VADRepairThread::Run() {
    const std::string program = ZephUtil::JoinPath(m_installPath, "bin/VelmorUtil.exe");
    std::unique_ptr<ZephUtil::ChildProcess> child =
        ZephUtil::StartChildProcess(program, "repairdatabase patcher");
    if (!child) {
        m_sink.Report(ReportLevel::kError, kMsgRepairLaunchFailed);
        return 0;
    }
    {
        OS::MutexLock lock(&m_lock);
        m_child = child.get();
    }
    ReportOutput(*child);
    WaitForUtility(*child);
    ZephUtil::Print("VADRepairThread> VelmorUtil ended with exit code %d",
                    ZephUtil::ChildExitCode(*child));
    ZephUtil::CloseChildProcess(*child);
    return 0;
}

void VADRepairThread::ReportOutput(ZephUtil::ChildProcess& child) {
    bool output = true;
    bool errors = true;
    std::string text;
    while (output || errors) {
        if (output) {
            text.clear();
            output = ZephUtil::ReadChildOutput(child, text);
            if (!text.empty())
                m_sink.Report(kOutputLevel, AsUtf8(text));
        }
        if (errors) {
            text.clear();
            errors = ZephUtil::ReadChildErrors(child, text);
            if (!text.empty())
                m_sink.Report(kErrorOutputLevel, AsUtf8(text));
        }
    }
}

void VADRepairThread::WaitForUtility(ZephUtil::ChildProcess& child) {
    ZephUtil::WaitChildProcess(child, -1);
    OS::MutexLock lock(&m_lock);
    m_child = nullptr;
}

}  // namespace ZephPatch
