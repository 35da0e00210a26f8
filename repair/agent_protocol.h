// The conversation with the repair server over one TCP connection, all integers little-endian:
//   client: version 6            server: version (the client requires 6)
//   client: its whole summary    server: count N, then N segment messages
// A segment message: flags byte (0 raw, else compressed in the framework's block format), the
// segment key as a counted UTF-16LE string, the checksum of the new content (0: the segment no
// longer exists), the payload length P and P payload bytes. There is no other framing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/data_buffer_tcp.h"
#include "repair/file_tree_summary.h"
#include "repair/wire_format.h"

namespace ZephPatch {

constexpr uint32_t kAgentProtocolVersion = 6;
// Job and handshake codes beside the socket layer's.
constexpr int kRepairBadConfiguration = 5;
constexpr int kRepairReconfigureWhileRunning = 7;
constexpr int kRepairVersionMismatch = 10;
constexpr uint16_t kRepairServerPort = 6000;

// Payload limits: what a segment of 4 MiB can need, raw or compressed in one block.
constexpr uint32_t kMaxRawPayload = 0x400000;
[[nodiscard]] uint32_t MaxCompressedPayload();

// Connects and exchanges versions: 0, the connect's result, or kRepairVersionMismatch.
[[nodiscard]] int Handshake(ZephUtil::ZephDataBufferTCP& connection,
                            const ZephUtil::SocketEndpoint& server);
// Sends the summary and reads the number of segment messages that follow into `total`; the
// read's result. (A server that hangs up before the count is a failure, not "nothing to do".)
[[nodiscard]] int SendSummary(ZephUtil::ZephDataBufferTCP& connection, FileTreeSummary& summary,
                              uint32_t* total);

// True when a compressed payload's blocks declare at most `limit` bytes in all and each fits
// in what is left of the payload: checked before anything is inflated.
[[nodiscard]] bool CompressedPayloadFits(const std::vector<uint8_t>& payload, uint64_t limit);

// Appends a segment message's header (everything before the payload).
void WriteSegmentHeader(WireWriter& out, uint8_t flags, const std::string& key, uint32_t checksum,
                        uint32_t payloadLength);

}  // namespace ZephPatch
