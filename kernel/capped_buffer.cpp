#include "kernel/capped_buffer.h"

namespace ZephUtil {

int CappedBuffer::SetSize(uint64_t size) {
    if (size > m_max) {
        m_overflowed = true;
        return kBufNoMemory;
    }
    return ForwardingBuffer::SetSize(size);
}

int CappedBuffer::Write(const void* bytes, uint32_t count) {
    const uint64_t position = GetPosition();
    if (position > m_max || count > m_max - position) {
        m_overflowed = true;
        return kBufNoMemory;
    }
    return ForwardingBuffer::Write(bytes, count);
}

}  // namespace ZephUtil
