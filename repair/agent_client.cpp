#include "repair/agent_client.h"

#include <vector>

#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"
#include "repair/agent_protocol.h"

namespace ZephPatch {
namespace {

bool IsAcceptableInstallDirectory(const std::string& path) {
    const std::u16string units = ZephUtil::Utf8ToUtf16(path);
    if (units.size() <= 4)
        return false;
    auto usable = [](char16_t c) { return c != u'"' && c <= 127; };
    return usable(units.front()) && usable(units.back());
}

// What the file system of `folder` has free for us; unlimited when it cannot tell.
uint64_t FreeSpaceOf(const std::string& folder) {
    uint64_t bytes = 0;
    return ZephUtil::FreeDiskSpace(folder, &bytes) ? bytes : UINT64_MAX;
}

}  // namespace

ZephAgentClient::ZephAgentClient() = default;

ZephAgentClient::~ZephAgentClient() {
    if (m_running || m_thread.IsRunning()) {
        m_cancel = true;
        m_connection.Disconnect(true);
    }
    m_thread.Join();
}

void ZephAgentClient::Reconfigured() {
    m_stage = kStageIdle;
    m_completed = false;
    m_error = 0;
}

int ZephAgentClient::SetInstallDirectory(const std::string& path) {
    if (m_running)
        return kRepairReconfigureWhileRunning;
    if (path.empty() || !IsAcceptableInstallDirectory(path))
        return kRepairBadConfiguration;
    m_installDirectory = path;
    Reconfigured();
    return 0;
}

int ZephAgentClient::SetChecksumFile(const std::string& path) {
    if (m_running)
        return kRepairReconfigureWhileRunning;
    if (path.empty())
        return kRepairBadConfiguration;
    m_checksumFile = path;
    Reconfigured();
    return 0;
}

int ZephAgentClient::SetServerAddress(const ZephUtil::SocketEndpoint& server) {
    if (m_running)
        return kRepairReconfigureWhileRunning;
    m_server = server;
    Reconfigured();
    return 0;
}

int ZephAgentClient::SetExclusions(const std::set<std::string>& paths) {
    if (m_running)
        return kRepairReconfigureWhileRunning;
    m_exclusions = paths;
    return 0;
}

int ZephAgentClient::SetStallLimit(int milliseconds) {
    if (m_running)
        return kRepairReconfigureWhileRunning;
    m_connection.SetStallLimit(milliseconds);
    return 0;
}

void ZephAgentClient::StartRepair() {
    if (m_running)
        return;
    m_stage = kStageStarted;
    m_running = true;
    m_completed = false;
    m_error = 0;
    m_cancel = false;
    m_thread.Join();  // an earlier run has ended, but its thread may not have returned yet
    (void)m_thread.Start(RunRepairEntry, this);  // fails by throwing
}

float ZephAgentClient::GetProgress() const {
    const int stage = m_stage;
    if (stage == kStageComplete)
        return 1.0f;
    if (stage != kStageReceiving)
        return 0.0f;
    const uint32_t total = m_total;
    const uint32_t received = m_received;
    if (total == 0)
        return 0.0f;
    if (received >= total)
        return 1.0f;
    return static_cast<float>(received) / static_cast<float>(total);
}

void ZephAgentClient::WaitForChange(int milliseconds) const {
    OS::WaitHandle(m_changed, milliseconds);
}

void ZephAgentClient::SetStage(RepairStage stage) {
    m_stage = stage;
    OS::SetEventHandle(m_changed);
}

int ZephAgentClient::RunRepairEntry(void* client) {
    auto* self = static_cast<ZephAgentClient*>(client);
    const int error = self->RunRepair();
    self->m_running = false;
    OS::SetEventHandle(self->m_changed);
    return error;
}

int ZephAgentClient::RunRepair() {
    if (m_installDirectory.empty() || m_checksumFile.empty())
        return m_error = kRepairBadConfiguration;

    SetStage(kStageScanning);
    if (!ScanInstallation())
        return m_error;  // cancelled

    SetStage(kStageConnecting);
    m_error = Handshake(m_connection, m_server);
    if (m_error != 0)
        return m_error;

    SetStage(kStageExchanging);
    m_received = 0;
    m_total = 0;
    uint32_t total = 0;
    m_error = SendSummary(m_connection, m_summary, &total);
    if (m_error != 0)
        return m_error;
    m_total = total;

    // Sparse files do not show in the free space until their holes are filled, so what the
    // server makes us write is counted against the space there was when it began.
    m_spaceLeft = FreeSpaceOf(m_installDirectory);
    SetStage(kStageReceiving);
    const bool allWritten = ReceiveSegments();
    SaveSummary();
    if (m_received < m_total || !allWritten)
        return m_error = ZephUtil::ZEPHRESULT_CONNECTION_LOST;
    m_error = 0;
    m_completed = true;
    SetStage(kStageComplete);
    return 0;
}

bool ZephAgentClient::ScanInstallation() {
    {
        ZephUtil::ZephDataBufferFile file(m_checksumFile, ZephUtil::kFileRead);
        // Read in one piece and parsed in memory: a field at a time from the file would cost
        // a call into the C library for each of a large installation's hundreds of thousands.
        if (file.IsOpen()) {
            ZephUtil::ZephDataBufferMemoryStatic stored =
                ZephUtil::ZephDataBufferMemoryStatic::CopyRestOf(file);
            (void)m_summary.Load(stored);  // whatever it held, the scan makes it right
        }
    }
    std::vector<std::string> patterns;
    const std::string checksumFile = ZephUtil::RelativePath(m_checksumFile, m_installDirectory);
    if (!checksumFile.empty())
        patterns.push_back(checksumFile);
    for (const std::string& path : m_exclusions) {
        std::string relative = ZephUtil::RelativePath(path, m_installDirectory);
        if (!relative.empty())
            patterns.push_back(std::move(relative));
    }
    // A cancelled scan leaves the stored summary as it was.
    if (m_summary.Scan(m_installDirectory, patterns, nullptr, &m_cancel) != 0)
        return false;
    SaveSummary();
    return true;
}

bool ZephAgentClient::TakeSpace(uint64_t bytes) {
    uint64_t left = m_spaceLeft;
    while (bytes <= left)
        if (m_spaceLeft.compare_exchange_weak(left, left - bytes))
            return true;
    return false;
}

void ZephAgentClient::SaveSummary() {
    // Written over in place and then cut to length, not truncated first: ext4 pushes a file
    // that was truncated to nothing to the disk as soon as it is closed, and the receive stage
    // saves after every 33 segments. Whatever an interrupted save leaves, the next scan checks
    // against the files' time stamps, as it does any row.
    ZephUtil::ZephDataBufferFile file(m_checksumFile, ZephUtil::kFileAppend);
    if (file.IsOpen() && m_summary.Save(file) == ZephUtil::kBufOk)
        (void)file.SetSize(file.GetPosition());  // an interrupted save is checked by the next scan
}

void ZephAgentClient::NoteNewFile(const std::string& path) {
    std::lock_guard lock(m_newFilesMutex);
    m_newFiles.insert(path);
}

bool ZephAgentClient::IsNewFile(const std::string& path) {
    std::lock_guard lock(m_newFilesMutex);
    return m_newFiles.contains(path);
}

}  // namespace ZephPatch
