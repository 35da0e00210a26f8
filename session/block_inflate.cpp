#include "session/block_inflate.h"

#include <zlib.h>

#include <algorithm>

#include "kernel/compression.h"

namespace ZephPatch {

using ZephUtil::kBufOk;
using ZephUtil::ZephDataBuffer;

namespace {

constexpr size_t kInputChunk = 64 * 1024;
constexpr size_t kOutputChunk = 256 * 1024;

uint64_t Remaining(ZephDataBuffer& source) {
    const uint64_t size = source.GetSize();
    const uint64_t position = source.GetPosition();
    return position < size ? size - position : 0;
}

bool ReadU32(ZephDataBuffer& source, uint32_t* value) {
    uint8_t bytes[4];
    if (Remaining(source) < sizeof bytes || source.Read(bytes, sizeof bytes) != kBufOk)
        return false;
    *value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
    return true;
}

}  // namespace

BlockSequenceInflater::BlockSequenceInflater()
    : m_stream(std::make_unique<z_stream_s>()), m_input(kInputChunk), m_output(kOutputChunk) {
    m_ready = inflateInit(m_stream.get()) == Z_OK;
}

BlockSequenceInflater::~BlockSequenceInflater() {
    if (m_ready)
        inflateEnd(m_stream.get());
}

InflateResult BlockSequenceInflater::Inflate(ZephDataBuffer& source, const InflateSink& sink,
                                             uint64_t limit) {
    uint32_t blocks;
    if (!m_ready || !ReadU32(source, &blocks))
        return InflateResult::kDamaged;
    uint64_t total = 0;
    for (uint32_t i = 0; i < blocks; ++i) {
        uint32_t compressedLength, length;
        if (!ReadU32(source, &compressedLength) || !ReadU32(source, &length))
            return InflateResult::kDamaged;
        total += length;
        if (length > ZephUtil::kMaxCompressedBlock || total > limit ||
            compressedLength > Remaining(source))
            return InflateResult::kDamaged;
        InflateResult result = InflateBlock(source, compressedLength, length, sink);
        if (result != InflateResult::kOk)
            return result;
    }
    return InflateResult::kOk;
}

bool BlockSequenceInflater::ReadInput(ZephDataBuffer& source, uint64_t* unread) {
    const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(*unread, m_input.size()));
    if (chunk == 0 || source.Read(m_input.data(), chunk) != kBufOk)
        return false;
    *unread -= chunk;
    m_stream->next_in = m_input.data();
    m_stream->avail_in = chunk;
    return true;
}

InflateResult BlockSequenceInflater::InflateBlock(ZephDataBuffer& source, uint32_t compressedLength,
                                                  uint32_t length, const InflateSink& sink) {
    z_stream_s& stream = *m_stream;
    if (inflateReset(&stream) != Z_OK)
        return InflateResult::kDamaged;
    stream.avail_in = 0;
    uint64_t unread = compressedLength;
    uint64_t produced = 0;
    for (;;) {
        if (stream.avail_in == 0 && !ReadInput(source, &unread))
            return InflateResult::kDamaged;
        stream.next_out = m_output.data();
        stream.avail_out = static_cast<uInt>(m_output.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        const size_t got = m_output.size() - stream.avail_out;
        produced += got;
        if (produced > length)
            return InflateResult::kDamaged;
        if (got > 0 && !sink(m_output.data(), got))
            return InflateResult::kSinkFailed;
        if (status == Z_STREAM_END)
            break;
        // Z_BUF_ERROR only means "no progress without more input", which the loop supplies.
        if (status != Z_OK && !(status == Z_BUF_ERROR && stream.avail_in == 0))
            return InflateResult::kDamaged;
    }
    if (produced != length)
        return InflateResult::kDamaged;
    // Bytes a block carries after its zlib stream are skipped, as a whole-block uncompress does.
    if (unread > 0 && source.Seek(source.GetPosition() + unread) != kBufOk)
        return InflateResult::kDamaged;
    return InflateResult::kOk;
}

}  // namespace ZephPatch
