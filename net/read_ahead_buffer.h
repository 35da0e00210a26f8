// Reads a connection in large pieces for a parser that asks for a few bytes at a time: a
// summary, or a stream of segment messages, arrives as many small fields, and a socket request
// per field would cost a round trip to the completion-port thread each.
#pragma once

#include <cstdint>
#include <vector>

#include "net/data_buffer_tcp.h"

namespace ZephPatch {

class ReadAheadBuffer : public ZephUtil::ZephDataBuffer {
public:
    // Reads at most `limit` bytes from `source` in all; asking for more is kBufOutOfRange, so
    // that a peer cannot make its reader hold an endless summary.
    ReadAheadBuffer(ZephUtil::ZephDataBufferTCP& source, uint64_t limit);
    // Bytes read ahead beyond what was consumed are lost: use it only while the peer sends
    // nothing after the data being parsed.
    ~ReadAheadBuffer() override;

    [[nodiscard]] uint64_t GetSize() override { return 0; }
    [[nodiscard]] int SetSize(uint64_t) override { return ZephUtil::ZEPHRESULT_NOT_SUPPORTED; }
    [[nodiscard]] uint64_t GetPosition() override { return m_consumed; }
    [[nodiscard]] int Seek(uint64_t) override { return ZephUtil::ZEPHRESULT_NOT_SUPPORTED; }
    [[nodiscard]] int Write(const void*, uint32_t) override { return ZephUtil::kBufNotAllowed; }
    [[nodiscard]] int Read(void* destination, uint32_t count) override;

private:
    ZephUtil::ZephDataBufferTCP& m_source;
    const uint64_t m_limit;
    uint64_t m_consumed = 0;
    std::vector<uint8_t> m_piece;
    size_t m_begin = 0;
    size_t m_end = 0;
};

}  // namespace ZephPatch
