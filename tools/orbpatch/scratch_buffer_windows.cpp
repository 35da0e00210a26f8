#include "tools/orbpatch/scratch_buffer.h"

#include <windows.h>

namespace OrbPatch {

ScratchBuffer::~ScratchBuffer() {
    Release();
}

std::span<uint8_t> ScratchBuffer::Get(size_t size) {
    if (size > m_capacity) {
        Release();
        void* data = VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (data == nullptr) {
            return {};
        }
        m_data = static_cast<uint8_t*>(data);
        m_capacity = size;
    }
    return size == 0 ? std::span<uint8_t>() : std::span<uint8_t>(m_data, size);
}

void ScratchBuffer::Release() {
    if (m_data != nullptr) {
        VirtualFree(m_data, 0, MEM_RELEASE);
        m_data = nullptr;
        m_capacity = 0;
    }
}

}  // namespace OrbPatch
