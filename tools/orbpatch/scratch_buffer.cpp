#include "tools/orbpatch/scratch_buffer.h"

namespace OrbPatch {

ScratchBuffer::~ScratchBuffer() {
    Release();
}

std::span<uint8_t> ScratchBuffer::Get(size_t size) {
    if (size > m_capacity) {
        Release();
        m_data = Allocate(size);
        if (m_data == nullptr) {
            return {};
        }
        m_capacity = size;
    }
    return size == 0 ? std::span<uint8_t>() : std::span<uint8_t>(m_data, size);
}

void ScratchBuffer::Release() {
    if (m_data != nullptr) {
        Free(m_data, m_capacity);
        m_data = nullptr;
        m_capacity = 0;
    }
}

}  // namespace OrbPatch
