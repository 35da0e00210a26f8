// A data buffer that passes everything on to another one but never lets it grow past a
// ceiling: what a server sends or an archive unpacks to is bounded by the room set aside.
#pragma once

#include <cstdint>

#include "kernel/buffers/data_buffer.h"
#include "kernel/buffers/forwarding_buffer.h"

namespace ZephUtil {

// A write that would end past `maxBytes` is refused with kBufNoMemory (nothing of it written)
// and Overflowed() tells so from then on. REQUIRES: `inner` outlives this object; one thread
// at a time.
class CappedBuffer : public ForwardingBuffer {
public:
    CappedBuffer(ZephDataBuffer* inner, uint64_t maxBytes)
        : ForwardingBuffer(inner), m_max(maxBytes) {}

    [[nodiscard]] bool Overflowed() const { return m_overflowed; }
    [[nodiscard]] uint64_t MaxBytes() const { return m_max; }

    [[nodiscard]] int SetSize(uint64_t size) override;
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;

private:
    uint64_t m_max;
    bool m_overflowed = false;
};

}  // namespace ZephUtil
