#include "tools/zephrepaird/client_session.h"

#include <asio/steady_timer.hpp>

#include <cinttypes>
#include <future>

#include "kernel/buffers/block_io.h"
#include "kernel/buffers/compression.h"
#include "kernel/log/system_log.h"
#include "net/read_ahead_buffer.h"
#include "repair/agent_protocol.h"
#include "repair/segment_checksum.h"
#include "repair/segment_io.h"
#include "repair/segment_name.h"
#include "tools/zephrepaird/segment_plan.h"

namespace ZephRepairServer {
namespace {

using ZephUtil::Print;

// Far beyond any real installation's summary (40 to 150 bytes per 4 MiB segment), and small
// enough that a client's summary costs the server tens of megabytes at most.
constexpr uint64_t kMaxSummaryBytes = 16ull << 20;
constexpr uint32_t kMaxSummaryEntries = 262144;  // 1 TiB of installation

// Closes a connection unless the scope ends within the time given.
class Deadline {
public:
    Deadline(ZephUtil::ZephDataBufferTCP& connection, int milliseconds)
        : m_manager(*connection.Manager()), m_armed(std::make_shared<bool>(true)) {
        m_manager.RunOnPort([&] {
            m_timer = std::make_unique<asio::steady_timer>(m_manager.Context());
            m_timer->expires_after(std::chrono::milliseconds(milliseconds));
            m_timer->async_wait([armed = m_armed, &connection](const asio::error_code& error) {
                if (!error && *armed)
                    connection.Disconnect(true);
            });
        });
    }
    // On the port's thread, where the timer's completion runs: once disarmed there, a
    // completion already queued leaves the connection alone.
    ~Deadline() {
        m_manager.RunOnPort([&] {
            *m_armed = false;
            m_timer.reset();
        });
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    ZephUtil::CPSocketManager& m_manager;
    std::shared_ptr<bool> m_armed;
    std::unique_ptr<asio::steady_timer> m_timer;
};

// Sends one planned message. False when the connection failed or the reference segment could
// not be read (it changed under us: the client tries again later).
bool SendSegment(ZephUtil::ZephDataBufferTCP& connection, ReferenceTree& tree,
                 const PlannedSegment& planned, bool compress) {
    ZephPatch::WireWriter header;
    if (planned.remove) {
        ZephPatch::WriteSegmentHeader(header, 0, planned.key, 0, 0);
        return connection.Write(header.Bytes().data(), header.Bytes().size()) == 0;
    }
    ZephPatch::SegmentBytes segment;
    if (!ZephPatch::ReadFileSegment(tree.LocalSegmentPath(planned.key), &segment))
        return false;
    // The checksum of the bytes actually sent, even if the file changed since the scan.
    const uint32_t checksum = ZephPatch::FinishSegmentChecksum(
        ZephPatch::UpdateSegmentChecksum(0, segment.data.get(), segment.length));
    const uint8_t* payload = segment.data.get();
    uint32_t length = segment.length;
    uint8_t flags = 0;
    ZephUtil::ZephDataBufferMemoryDynamic packed;
    if (compress && length > 0) {
        ZephUtil::ZephDataBufferMemoryStatic raw(segment.data.get(), length);
        if (ZephUtil::CompressData(packed, raw) == ZephUtil::kBufOk && packed.GetSize() < length) {
            flags = 1;
            payload = packed.Bytes().data();
            length = static_cast<uint32_t>(packed.GetSize());
        }
    }
    ZephPatch::WriteSegmentHeader(header, flags, planned.key, checksum, length);
    return connection.Write(header.Bytes().data(), header.Bytes().size()) == 0 &&
           connection.Write(payload, length) == 0;
}

// The client closes once it has everything; closing first could drop what is still queued.
void AwaitClientClose(ZephUtil::ZephDataBufferTCP& connection) {
    (void)connection.Shutdown(1);  // the read below ends with the connection either way
    uint8_t ignored;
    (void)connection.Read(&ignored, 1);
}

bool AnswerVersion(ZephUtil::ZephDataBufferTCP& connection) {
    uint32_t version = 0;
    if (ZephUtil::ReadUint32(connection, &version) != ZephUtil::kBufOk)
        return false;
    // A dead connection shows in the next read.
    (void)ZephUtil::WriteUint32(connection, ZephPatch::kAgentProtocolVersion);
    if (version != ZephPatch::kAgentProtocolVersion) {
        Print("zephrepaird> client speaks version %u", version);
        return false;
    }
    return true;
}

void ServeRepair(ZephUtil::ZephDataBufferTCP& connection, ReferenceTree& tree,
                 const SessionLimits& limits) {
    // The reference is rescanned while the client's summary arrives and is read.
    std::future<ReferenceState> reference =
        std::async(std::launch::async, [&tree] { return tree.Refresh(); });
    ZephPatch::FileTreeSummary client;
    {
        const Deadline deadline(connection, limits.summaryMilliseconds);
        ZephPatch::ReadAheadBuffer summary(connection, kMaxSummaryBytes);
        const int status = client.Load(summary, kMaxSummaryEntries);
        if (status != ZephUtil::kBufOk) {
            Print("zephrepaird> unreadable summary from client (%d)", status);
            return;
        }
    }
    const ZephPatch::SummaryMap held = client.TakeEntries();
    const std::vector<PlannedSegment> plan = PlanSegments(reference.get(), held);
    Print("zephrepaird> client holds %llu segments, sending %llu",
          static_cast<unsigned long long>(held.size()),
          static_cast<unsigned long long>(plan.size()));
    if (ZephUtil::WriteUint32(connection, static_cast<uint32_t>(plan.size())) != 0)
        return;
    for (const PlannedSegment& planned : plan)
        if (!SendSegment(connection, tree, planned, limits.compress)) {
            Print("zephrepaird> stopped at %s", planned.key.c_str());
            return;
        }
    AwaitClientClose(connection);
}

}  // namespace

bool ServeStep(Client& client, ReferenceTree& tree, const SessionLimits& limits) {
    if (client.step++ == 0)
        return AnswerVersion(*client.connection);
    ServeRepair(*client.connection, tree, limits);
    return false;
}

}  // namespace ZephRepairServer
