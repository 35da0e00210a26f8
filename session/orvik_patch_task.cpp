#include "session/orvik_patch_task.h"

#include <algorithm>

namespace ZephPatch {

void OrvikPatchTask::BeginDownload(uint64_t expectedBytes) {
    OS::MutexLock lock(&m_mutex);
    m_expectedBytes = expectedBytes;
    m_started = std::chrono::steady_clock::now();
}

bool OrvikPatchTask::QueryProgress(DownloadProgress* progress) {
    OS::MutexLock lock(&m_mutex);
    uint64_t received = 0;
    if (!m_download.GetReceived(&received))
        return false;
    progress->received = received;
    progress->total = m_expectedBytes;
    progress->percent = 0;
    if (m_expectedBytes > 0) {
        // A server may send more than it announced; the gauge stops at full.
        const uint64_t capped = std::min(received, m_expectedBytes);
        progress->percent = static_cast<int>(capped * 100 / m_expectedBytes);
    }
    progress->elapsedSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    return true;
}

}  // namespace ZephPatch
