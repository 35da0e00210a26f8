#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace OrbPatch {

// Memory kept from block to block and grown only when a block needs more. Its pages are made
// present when it grows: one call instead of a page fault per 4 KiB, which the reads into it
// would otherwise take one by one.
class ScratchBuffer {
public:
    ScratchBuffer() = default;
    ~ScratchBuffer();
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    // `size` bytes, or an empty span when the memory cannot be had. Earlier contents are kept
    // only while the buffer does not grow.
    [[nodiscard]] std::span<uint8_t> Get(size_t size);

private:
    void Release();
    // The system's pages for `size` bytes (made present where it can), or null; and back.
    static uint8_t* Allocate(size_t size);
    static void Free(uint8_t* data, size_t size);

    uint8_t* m_data = nullptr;
    size_t m_capacity = 0;
};

}  // namespace OrbPatch
