// Streaming reader of the framework's compressed block sequence (a 32-bit block count, then
// per block the compressed and uncompressed lengths and a zlib stream). Each block is
// inflated a chunk at a time into a sink, so memory stays small whatever the block sizes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kernel/data_buffer.h"

struct z_stream_s;

namespace ZephPatch {

enum class InflateResult {
    kOk,
    kDamaged,     // truncated, lying lengths, not zlib data, or more output than allowed
    kSinkFailed,  // the sink refused bytes
};

// Receives the inflated bytes in order; false stops the inflation.
using InflateSink = std::function<bool(const uint8_t* bytes, size_t count)>;

// One inflater is reused for many sequences. REQUIRES: external synchronization.
class BlockSequenceInflater {
public:
    BlockSequenceInflater();
    ~BlockSequenceInflater();
    BlockSequenceInflater(const BlockSequenceInflater&) = delete;
    BlockSequenceInflater& operator=(const BlockSequenceInflater&) = delete;

    // Inflates the sequence that starts at the source's position and leaves the position
    // right behind it. `limit` is the most the whole sequence may produce.
    InflateResult Inflate(ZephUtil::ZephDataBuffer& source, const InflateSink& sink,
                          uint64_t limit);

private:
    InflateResult InflateBlock(ZephUtil::ZephDataBuffer& source, uint32_t compressedLength,
                               uint32_t length, const InflateSink& sink);
    bool ReadInput(ZephUtil::ZephDataBuffer& source, uint64_t* unread);

    std::unique_ptr<z_stream_s> m_stream;
    bool m_ready = false;  // inflateInit succeeded
    std::vector<uint8_t> m_input;
    std::vector<uint8_t> m_output;
};

}  // namespace ZephPatch
