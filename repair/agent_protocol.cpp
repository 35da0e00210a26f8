#include "repair/agent_protocol.h"

#include <zlib.h>

#include "kernel/buffers/block_io.h"

namespace ZephPatch {

uint32_t MaxCompressedPayload() {
    // The block count, one block header and zlib's worst case for a whole segment.
    return 12 + static_cast<uint32_t>(compressBound(kMaxRawPayload));
}

int Handshake(ZephUtil::ZephDataBufferTCP& connection, const ZephUtil::SocketEndpoint& server) {
    const int connected = connection.Connect(server);
    if (connected != ZephUtil::ZEPHRESULT_OK)
        return connected;
    // A failed write shows in the read.
    (void)ZephUtil::WriteUint32(connection, kAgentProtocolVersion);
    // A failed read leaves all ones, which is no version.
    uint32_t version = 0xFFFFFFFF;
    (void)ZephUtil::ReadUint32(connection, &version);
    return version == kAgentProtocolVersion ? 0 : kRepairVersionMismatch;
}

int SendSummary(ZephUtil::ZephDataBufferTCP& connection, FileTreeSummary& summary,
                uint32_t* total) {
    (void)summary.Save(connection);  // a failed send shows in the reply's read
    *total = 0;
    return ZephUtil::ReadUint32(connection, total);
}

bool CompressedPayloadFits(const std::vector<uint8_t>& payload, uint64_t limit) {
    auto read32 = [&](size_t at) {
        return uint32_t{payload[at]} | uint32_t{payload[at + 1]} << 8 |
               uint32_t{payload[at + 2]} << 16 | uint32_t{payload[at + 3]} << 24;
    };
    if (payload.size() < 4)
        return false;
    const uint32_t blocks = read32(0);
    size_t at = 4;
    uint64_t total = 0;
    for (uint32_t i = 0; i < blocks; ++i) {
        if (payload.size() - at < 8)
            return false;
        const uint32_t compressed = read32(at);
        total += read32(at + 4);
        at += 8;
        if (total > limit || payload.size() - at < compressed)
            return false;
        at += compressed;
    }
    return true;
}

void WriteSegmentHeader(WireWriter& out, uint8_t flags, const std::string& key, uint32_t checksum,
                        uint32_t payloadLength) {
    out.U8(flags);
    out.String(key);
    out.U32(checksum);
    out.U32(payloadLength);
}

}  // namespace ZephPatch
