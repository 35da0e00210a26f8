// A data buffer that passes every operation on to another one: the base of the buffers that
// watch or limit what goes through (a size ceiling, a hash of the download).
#pragma once

#include <cstdint>

#include "kernel/buffers/data_buffer.h"

namespace ZephUtil {

// REQUIRES: `inner` outlives this object.
class ForwardingBuffer : public ZephDataBuffer {
public:
    explicit ForwardingBuffer(ZephDataBuffer* inner) : m_inner(inner) {}

    [[nodiscard]] uint64_t GetSize() override { return m_inner->GetSize(); }
    [[nodiscard]] int SetSize(uint64_t size) override { return m_inner->SetSize(size); }
    [[nodiscard]] uint64_t GetPosition() override { return m_inner->GetPosition(); }
    [[nodiscard]] int Seek(uint64_t position) override { return m_inner->Seek(position); }
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override {
        return m_inner->Write(bytes, count);
    }
    [[nodiscard]] int Read(void* destination, uint32_t count) override {
        return m_inner->Read(destination, count);
    }
    void FlushBuffer() override { m_inner->FlushBuffer(); }

private:
    ZephDataBuffer* m_inner;
};

}  // namespace ZephUtil
