#include "tools/orbpatch/scratch_buffer.h"

#include <sys/mman.h>

namespace OrbPatch {

ScratchBuffer::~ScratchBuffer() {
    Release();
}

std::span<uint8_t> ScratchBuffer::Get(size_t size) {
    if (size > m_capacity) {
        Release();
        void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (data == MAP_FAILED) {
            return {};
        }
        m_data = static_cast<uint8_t*>(data);
        m_capacity = size;
    }
    return size == 0 ? std::span<uint8_t>() : std::span<uint8_t>(m_data, size);
}

void ScratchBuffer::Release() {
    if (m_data != nullptr) {
        munmap(m_data, m_capacity);
        m_data = nullptr;
        m_capacity = 0;
    }
}

}  // namespace OrbPatch
