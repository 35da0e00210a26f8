#include <windows.h>

#include "tools/orbpatch/scratch_buffer.h"

namespace OrbPatch {

uint8_t* ScratchBuffer::Allocate(size_t size) {
    return static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void ScratchBuffer::Free(uint8_t* data, size_t) {
    VirtualFree(data, 0, MEM_RELEASE);
}

}  // namespace OrbPatch
