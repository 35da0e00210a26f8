#include <sys/mman.h>

#include "tools/orbpatch/scratch_buffer.h"

namespace OrbPatch {

uint8_t* ScratchBuffer::Allocate(size_t size) {
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return data == MAP_FAILED ? nullptr : static_cast<uint8_t*>(data);
}

void ScratchBuffer::Free(uint8_t* data, size_t size) {
    munmap(data, size);
}

}  // namespace OrbPatch
