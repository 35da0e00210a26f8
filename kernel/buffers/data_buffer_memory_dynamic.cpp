// `ZephDataBufferMemoryDynamic`: the data buffer over a growing byte array.
#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "kernel/buffers/data_buffer.h"

namespace ZephUtil {
namespace {

// Resizes without letting an exception out: false when the memory is not there.
bool TryResize(std::vector<uint8_t>& bytes, uint64_t size) {
    if (size > bytes.max_size())
        return false;
    try {
        bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

}  // namespace

int ZephDataBufferMemoryDynamic::SetSize(uint64_t size) {
    if (!TryResize(m_bytes, size))
        return kBufNoMemory;
    m_position = std::min<uint64_t>(m_position, size);
    return kBufOk;
}

int ZephDataBufferMemoryDynamic::Seek(uint64_t position) {
    if (position > m_bytes.size()) {
        m_position = m_bytes.size();
        return kBufOutOfRange;
    }
    m_position = position;
    return kBufOk;
}

int ZephDataBufferMemoryDynamic::Write(const void* bytes, uint32_t count) {
    if (count == 0)
        return kBufOk;
    uint64_t end = m_position + count;
    if (end > m_bytes.size() && !TryResize(m_bytes, end))
        return kBufNoMemory;
    memcpy(m_bytes.data() + m_position, bytes, count);
    m_position = end;
    return kBufOk;
}

int ZephDataBufferMemoryDynamic::Read(void* destination, uint32_t count) {
    // Bytes() may have shrunk the array under the position.
    uint64_t left = m_position < m_bytes.size() ? m_bytes.size() - m_position : 0;
    uint64_t there = std::min<uint64_t>(count, left);
    if (there)
        memcpy(destination, m_bytes.data() + m_position, there);
    m_position += there;
    return there == count ? kBufOk : kBufOutOfRange;
}

}  // namespace ZephUtil
