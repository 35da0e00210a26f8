// The framework's compressed block format: a 32-bit block count, then per block the
// compressed and uncompressed lengths (32-bit little-endian) and a zlib stream; at most
// 0x10000000 uncompressed bytes per block.
#pragma once

#include "kernel/data_buffer.h"

namespace ZephUtil {

constexpr uint32_t kMaxCompressedBlock = 0x10000000;

// Compresses the source from its position to its end onto the destination's position.
int CompressData(ZephDataBuffer& destination, ZephDataBuffer& source);

// Inverse of CompressData. Hostile input (lying lengths, truncation, absurd counts) ends in a
// result code, never in an allocation larger than the source can back.
int DecompressData(ZephDataBuffer& destination, ZephDataBuffer& source);

}  // namespace ZephUtil
