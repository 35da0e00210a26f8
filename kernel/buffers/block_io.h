// Little-endian 32-bit fields of the compressed block format, read and written through a
// data buffer.
#pragma once

#include <cstdint>

#include "kernel/buffers/data_buffer.h"

namespace ZephUtil {

// A piece of a block handed to zlib or a buffer at a time, so that memory stays small
// whatever the block size.
constexpr uint32_t kCompressionPiece = 1u << 20;

[[nodiscard]] inline int WriteUint32(ZephDataBuffer& buffer, uint32_t value) {
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return buffer.Write(bytes, 4);
}

[[nodiscard]] inline int ReadUint32(ZephDataBuffer& buffer, uint32_t* value) {
    uint8_t bytes[4];
    int result = buffer.Read(bytes, 4);
    if (result != kBufOk)
        return result;
    *value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    return kBufOk;
}

}  // namespace ZephUtil
