// A data buffer that passes everything on to another one but never lets it grow past a
// ceiling: what a server sends or an archive unpacks to is bounded by the room set aside.
#pragma once

#include <cstdint>

#include "kernel/buffers/data_buffer.h"

namespace ZephUtil {

// A write that would end past `maxBytes` is refused with kBufNoMemory (nothing of it written)
// and Overflowed() tells so from then on. REQUIRES: `inner` outlives this object; one thread
// at a time.
class CappedBuffer : public ZephDataBuffer {
public:
    CappedBuffer(ZephDataBuffer* inner, uint64_t maxBytes) : m_inner(inner), m_max(maxBytes) {}

    bool Overflowed() const { return m_overflowed; }
    uint64_t MaxBytes() const { return m_max; }

    uint64_t GetSize() override { return m_inner->GetSize(); }
    int SetSize(uint64_t size) override;
    uint64_t GetPosition() override { return m_inner->GetPosition(); }
    int Seek(uint64_t position) override { return m_inner->Seek(position); }
    int Write(const void* bytes, uint32_t count) override;
    int Read(void* destination, uint32_t count) override {
        return m_inner->Read(destination, count);
    }
    void FlushBuffer() override { m_inner->FlushBuffer(); }

private:
    ZephDataBuffer* m_inner;
    uint64_t m_max;
    bool m_overflowed = false;
};

}  // namespace ZephUtil
