#include "net/read_ahead_buffer.h"

#include <algorithm>
#include <cstring>

namespace ZephPatch {

constexpr uint32_t kPieceSize = 256 * 1024;

ReadAheadBuffer::ReadAheadBuffer(ZephUtil::ZephDataBufferTCP& source, uint64_t limit)
    : m_source(source), m_limit(limit), m_piece(kPieceSize) {
    m_source.SetPartialRead(true);
}

ReadAheadBuffer::~ReadAheadBuffer() {
    m_source.SetPartialRead(false);
}

int ReadAheadBuffer::Read(void* destination, uint32_t count) {
    if (count > m_limit - m_consumed)
        return ZephUtil::kBufOutOfRange;
    auto* out = static_cast<uint8_t*>(destination);
    for (uint32_t done = 0; done < count;) {
        // A payload that fills pieces goes straight to its destination, without a copy.
        if (m_begin == m_end && count - done >= kPieceSize) {
            const uint64_t before = m_source.GetPosition();
            const int result = m_source.Read(out + done, count - done);
            if (result != ZephUtil::ZEPHRESULT_OK && result != ZephUtil::ZEPHRESULT_PARTIAL)
                return result;
            done += static_cast<uint32_t>(m_source.GetPosition() - before);
            continue;
        }
        if (m_begin == m_end) {
            const uint64_t before = m_source.GetPosition();
            const int result = m_source.Read(m_piece.data(), kPieceSize);
            if (result != ZephUtil::ZEPHRESULT_OK && result != ZephUtil::ZEPHRESULT_PARTIAL)
                return result;
            m_begin = 0;
            m_end = static_cast<size_t>(m_source.GetPosition() - before);
        }
        const size_t take = std::min<size_t>(count - done, m_end - m_begin);
        memcpy(out + done, m_piece.data() + m_begin, take);
        m_begin += take;
        done += static_cast<uint32_t>(take);
    }
    m_consumed += count;
    return ZephUtil::kBufOk;
}

}  // namespace ZephPatch
