// `ZephDataBufferMemoryStatic`: the data buffer over a fixed memory block.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "kernel/buffers/data_buffer.h"

namespace ZephUtil {

ZephDataBufferMemoryStatic::ZephDataBufferMemoryStatic(void* data, uint32_t size)
    : m_data(static_cast<uint8_t*>(data)), m_size(size) {}

ZephDataBufferMemoryStatic ZephDataBufferMemoryStatic::CopyOf(const void* data, uint32_t size) {
    ZephDataBufferMemoryStatic copy;
    copy.m_data = new (std::nothrow) uint8_t[size == 0 ? 1 : size];
    if (!copy.m_data)
        return copy;
    copy.m_owns = true;
    copy.m_size = size;
    if (size)
        memcpy(copy.m_data, data, size);
    return copy;
}

ZephDataBufferMemoryStatic ZephDataBufferMemoryStatic::CopyOf(const std::string& text) {
    if (text.size() > std::numeric_limits<uint32_t>::max())
        return ZephDataBufferMemoryStatic();
    return CopyOf(text.data(), static_cast<uint32_t>(text.size()));
}

ZephDataBufferMemoryStatic ZephDataBufferMemoryStatic::CopyRestOf(ZephDataBuffer& source) {
    ZephDataBufferMemoryStatic copy;
    uint64_t position = source.GetPosition();
    uint64_t size = source.GetSize();
    if (position > size || size - position > std::numeric_limits<uint32_t>::max())
        return copy;
    uint32_t rest = static_cast<uint32_t>(size - position);
    copy.m_data = new (std::nothrow) uint8_t[rest == 0 ? 1 : rest];
    if (!copy.m_data)
        return copy;
    copy.m_owns = true;
    if (source.Read(copy.m_data, rest) == kBufOk)
        copy.m_size = rest;
    return copy;
}

ZephDataBufferMemoryStatic::~ZephDataBufferMemoryStatic() {
    if (m_owns)
        delete[] m_data;
}

ZephDataBufferMemoryStatic::ZephDataBufferMemoryStatic(ZephDataBufferMemoryStatic&& other) noexcept
    : m_data(other.m_data),
      m_position(other.m_position),
      m_size(other.m_size),
      m_owns(other.m_owns) {
    other.m_data = nullptr;
    other.m_position = 0;
    other.m_size = 0;
    other.m_owns = false;
}

int ZephDataBufferMemoryStatic::SetSize(uint64_t) {
    return kBufNotAllowed;
}

int ZephDataBufferMemoryStatic::Seek(uint64_t position) {
    if (position > m_size) {
        m_position = m_size;
        return kBufOutOfRange;
    }
    m_position = static_cast<uint32_t>(position);
    return kBufOk;
}

int ZephDataBufferMemoryStatic::Write(const void* bytes, uint32_t count) {
    uint32_t fits = std::min(count, m_size - m_position);
    if (fits)
        memcpy(m_data + m_position, bytes, fits);
    m_position += fits;
    return fits == count ? kBufOk : kBufNoMemory;
}

int ZephDataBufferMemoryStatic::Read(void* destination, uint32_t count) {
    uint32_t there = std::min(count, m_size - m_position);
    if (there)
        memcpy(destination, m_data + m_position, there);
    m_position += there;
    return there == count ? kBufOk : kBufOutOfRange;
}

}  // namespace ZephUtil
