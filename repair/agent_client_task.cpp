#include "repair/agent_client_task.h"

#include <sys/stat.h>
#include "kernel/buffers/compression.h"
#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"

#include <algorithm>
#include <filesystem>
#include "kernel/buffers/compression.h"
#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"
#include "repair/agent_client.h"
#include "repair/agent_protocol.h"
#include "repair/segment_checksum.h"
#include "repair/segment_name.h"

namespace ZephPatch {

using ZephUtil::Print;

ZephAgentClientTask::~ZephAgentClientTask() {
    AwaitThread();
}

void ZephAgentClientTask::AwaitThread() {
    if (m_thread)
        OS::JoinThread(m_thread);
    m_thread.reset();
}

void ZephAgentClientTask::Release() {
    (void)m_data.SetSize(0);  // cannot fail: emptying a growable memory buffer
    (void)m_compressedData.SetSize(0);
    m_owner = nullptr;
    m_writeBegun = false;
}

bool ZephAgentClientTask::ReceiveFile(ZephAgentClient& client) {
    if (m_owner) {
        Print("ZephAgentClientTask::ReceiveFile> called while already busy");
        return false;
    }
    m_owner = &client;
    m_name.clear();
    m_checksum = 0;
    m_compressed = false;
    m_result = true;

    ZephUtil::ZephDataBuffer& connection = client.Incoming();
    uint8_t flags = 0;
    uint32_t length = 0;
    int status = ReadU8(connection, &flags);
    if (status == ZephUtil::kBufOk)
        status = ReadWireString(connection, &m_name);
    if (status == ZephUtil::kBufOk)
        status = ZephUtil::ReadUint32(connection, &m_checksum);
    if (status == ZephUtil::kBufOk)
        status = ZephUtil::ReadUint32(connection, &length);
    if (status != ZephUtil::kBufOk) {
        Print("ZephAgentClientTask::ReceiveFile> error %d", status);
        Release();
        return false;
    }
    if ((m_checksum == 0 && (flags != 0 || length != 0)) || (flags != 0 && length == 0)) {
        Print("ZephAgentClientTask::ReceiveFile> mismatched flags from server");
        Release();
        return false;
    }
    m_compressed = flags != 0;
    // Lengths from the network are checked before anything is allocated for them.
    if (length > (m_compressed ? MaxCompressedPayload() : kMaxRawPayload)) {
        Print("ZephAgentClientTask::ReceiveFile> payload of %u bytes too long for a segment",
              length);
        Release();
        return false;
    }
    std::vector<uint8_t>& payload = m_compressed ? m_compressedData.Bytes() : m_data.Bytes();
    payload.resize(length);
    status = connection.Read(payload.data(), length);
    if (status != ZephUtil::kBufOk) {
        Print("ZephAgentClientTask::ReceiveFile> error %d", status);
        Release();
        return false;
    }
    if (m_compressed && !CompressedPayloadFits(payload, kMaxRawPayload)) {
        Print("ZephAgentClientTask::ReceiveFile> compressed segment larger than a segment");
        Release();
        return false;
    }
    (void)m_data.Seek(0);  // cannot fail: position 0 of a memory buffer
    (void)m_compressedData.Seek(0);
    if (m_compressed) {
        m_decompressing = true;
        m_thread = OS::StartThread(0, DecompressEntry, this);
    }
    client.CountReceivedSegment();
    return true;
}

int ZephAgentClientTask::DecompressEntry(void* task) {
    static_cast<ZephAgentClientTask*>(task)->ThreadedDecompress();
    return 0;
}

void ZephAgentClientTask::ThreadedDecompress() {
    (void)m_data.SetSize(0);  // cannot fail: memory buffers emptied and rewound
    const int status = ZephUtil::DecompressData(m_data, m_compressedData);
    (void)m_compressedData.SetSize(0);
    (void)m_data.Seek(0);
    if (status != ZephUtil::kBufOk)
        Print("ZephAgentClientTask::ThreadedDecompress> error %d", status);
    m_result = status == ZephUtil::kBufOk;
    m_decompressing = false;
}

bool ZephAgentClientTask::WriteFileBegin() {
    if (!m_owner || m_writeBegun)
        return true;
    if (m_writing) {
        Print("ZephAgentClientTask::WriteFileBegin> called while already busy");
        return false;
    }
    AwaitThread();  // the inflation
    if (!m_result) {
        Release();
        return false;
    }
    m_writeBegun = true;
    m_writing = true;
    m_thread = OS::StartThread(0, WriteEntry, this);
    return true;
}

bool ZephAgentClientTask::WriteFileEnd() {
    if (!m_owner)
        return true;
    if (!m_writeBegun && !WriteFileBegin())
        return false;
    AwaitThread();
    (void)m_data.SetSize(0);  // cannot fail: emptying a growable memory buffer
    const bool result = m_result;
    m_owner = nullptr;
    m_writeBegun = false;
    return result;
}

int ZephAgentClientTask::WriteEntry(void* task) {
    auto* self = static_cast<ZephAgentClientTask*>(task);
    self->m_result = self->ThreadedWriteFile();
    self->m_writing = false;
    return 0;
}

bool ZephAgentClientTask::ThreadedWriteFile() {
    // A key from the network names a segment inside the installation, or nothing is written.
    std::string relative;
    if (!IsCanonicalSegmentName(m_name) ||
        !ZephUtil::ToSafeRelativePath(SegmentBase(m_name), &relative) || relative.empty()) {
        Print("ZephAgentClientTask::ThreadedWriteFile> refused segment key %s", m_name.c_str());
        return false;
    }
    // Checked before anything on disk changes: data that is not what the server says it is
    // replaces nothing, and the repair fails.
    if (m_checksum != 0 && !MatchesItsChecksum()) {
        Print("   error: segment %s does not match its checksum", m_name.c_str());
        return false;
    }
    const int64_t index = SegmentIndex(m_name);
    const std::string localPath = ZephUtil::JoinPath(m_owner->InstallDirectory(), relative);
    // A missing folder makes the open for the write fail.
    (void)ZephUtil::MakeDirectory(localPath.substr(0, localPath.rfind('/')));
    // Folder links on the way are the user's; a link at the file's own place must stay inside.
    if (ZephUtil::LinkLeadsOutside(localPath, m_owner->InstallDirectory())) {
        Print("   error: %s is a link that leads out of the installation", localPath.c_str());
        return false;
    }
    if (m_checksum == 0) {
        (void)ZephUtil::ClearReadOnly(localPath);  // best effort, as for a write below
        return RemoveSegmentData(localPath, index);
    }
    if (!FitsTheRepair(localPath, index))
        return false;
    // A file left read-only makes the open for the write fail.
    (void)ZephUtil::ClearReadOnly(localPath);
    // Noted before the write creates it, so that a first segment written meanwhile by another
    // task still counts the file as new.
    if (!ZephUtil::FileExists(localPath))
        m_owner->NoteNewFile(localPath);
    if (!WriteSegment(localPath, index))
        return false;
    if (index == 0 && m_owner->IsNewFile(localPath))
        ZephUtil::ApplyNewFileMode(localPath, relative);
    // The checksum is given: this also stamps every row of the file with its new time.
    if (!m_owner->Summary().RegisterSegment(SegmentName(localPath, index), m_name, m_checksum)) {
        Print("   error: failed to register file %s", localPath.c_str());
        return false;
    }
    return true;
}

bool ZephAgentClientTask::MatchesItsChecksum() {
    const std::vector<uint8_t>& bytes = m_data.Bytes();
    const auto position = static_cast<size_t>(m_data.GetPosition());
    return FinishSegmentChecksum(UpdateSegmentChecksum(0, bytes.data() + position,
                                                       bytes.size() - position)) == m_checksum;
}

// A server can make a file only as long as the segments it announced can fill, and take only
// the space the disk had: a segment far past a file's end would otherwise leave a hole (a
// sparse file that costs nothing to make but that every later scan reads whole).
bool ZephAgentClientTask::FitsTheRepair(const std::string& localPath, int64_t index) {
    uint64_t size = 0;
    // A file not there yet has no segments: its size stays 0.
    static_cast<void>(ZephUtil::GetFileSizeOf(localPath, &size));
    if (static_cast<uint64_t>(index) >= SegmentCount(size) + m_owner->GetSegmentsTotal()) {
        Print("   error: segment %s lies past what this repair can fill", m_name.c_str());
        return false;
    }
    const uint64_t end =
        (static_cast<uint64_t>(index) << kSegmentShift) + m_data.GetSize() - m_data.GetPosition();
    if (end > size && !m_owner->TakeSpace(end - size)) {
        Print("   error: no room on the disk for %s", m_name.c_str());
        return false;
    }
    return true;
}

bool ZephAgentClientTask::WriteSegment(const std::string& localPath, int64_t index) {
    ZephUtil::ZephDataBufferFile file(localPath, ZephUtil::kFileAppend);
    if (!file.IsOpen()) {
        Print("   warning: failed to open path %s", localPath.c_str());
        return false;
    }
    const uint64_t offset = static_cast<uint64_t>(index) << kSegmentShift;
    const uint64_t end = offset + kSegmentSize;
    // Earlier segments that have not arrived yet read as zeros until they do.
    if (file.GetSize() < offset)
        (void)file.SetSize(offset);  // a write past the end extends the file alike
    if (file.Seek(offset) != ZephUtil::kBufOk) {
        Print("   error: failed to set file position for %s", localPath.c_str());
        return false;
    }
    const std::vector<uint8_t>& bytes = m_data.Bytes();
    const auto position = static_cast<size_t>(m_data.GetPosition());
    const int status =
        file.Write(bytes.data() + position, static_cast<uint32_t>(bytes.size() - position));
    if (status != ZephUtil::kBufOk) {
        Print("  error %d while downloading file %s", status, localPath.c_str());
        return false;
    }
    // A segment shorter than 4 MiB is the file's last.
    if (file.GetPosition() < end && file.GetSize() > file.GetPosition()) {
        if (file.SetSize(file.GetPosition()) != ZephUtil::kBufOk) {
            Print("   error: failed to truncate file %s", localPath.c_str());
            return false;
        }
        m_owner->Summary().RemoveSegmentsAfter(m_name);
    }
    return true;
}

bool ZephAgentClientTask::RemoveSegmentData(const std::string& localPath, int64_t index) {
    if (ZephUtil::FileExists(localPath)) {
        if (index > 0) {
            ZephUtil::ZephDataBufferFile file(localPath, ZephUtil::kFileAppend);
            const uint64_t size = static_cast<uint64_t>(index) << kSegmentShift;
            if (file.IsOpen() && file.GetSize() > size && file.SetSize(size) != ZephUtil::kBufOk) {
                Print("   error: failed to truncate file %s", localPath.c_str());
                return false;
            }
        } else if (!ZephUtil::DeleteFileAt(localPath)) {
            Print("   error: failed to delete file %s", localPath.c_str());
            return false;
        }
    }
    m_owner->Summary().RemoveSegmentsAfter(m_name);
    m_owner->Summary().RemoveSegment(m_name);
    return true;
}

}  // namespace ZephPatch
