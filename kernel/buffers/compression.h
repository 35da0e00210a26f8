// The framework's compressed block format: a 32-bit block count, then per block the
// compressed and uncompressed lengths (32-bit little-endian) and a zlib stream; at most
// 0x10000000 uncompressed bytes per block.
// Implemented in compress_data.cpp and decompress_data.cpp.
#pragma once

#include "kernel/buffers/data_buffer.h"

namespace ZephUtil {

constexpr uint32_t kMaxCompressedBlock = 0x10000000;

// Compresses the source from its position to its end onto the destination's position; the
// destination ends positioned at its end. The output is byte for byte that of zlib's
// compress() per block. The destination must support Seek: the count and each block's
// compressed length are patched in afterwards. On a failure the count names the whole blocks
// written; a partial block is cut off when the destination was being appended to.
[[nodiscard]] int CompressData(ZephDataBuffer& destination, ZephDataBuffer& source);

// Inverse of CompressData, from the source's position onto the destination's position.
// A block that declares more than kMaxCompressedBlock bytes, or more compressed bytes than the
// source has left, is refused with kBufOutOfRange before anything is allocated for it. A zlib
// failure (corrupt data, more output than declared) is kBufNoMemory; a block that decodes to
// fewer bytes than declared is kBufOutOfRange. Decoding stops at the first failing block;
// of a large block (over 1 MiB) the part decoded before the fault may have been written.
// Memory used is about 2 MiB plus zlib's state, whatever the block sizes.
[[nodiscard]] int DecompressData(ZephDataBuffer& destination, ZephDataBuffer& source);

// Moves the source past one compressed block sequence without decoding it, checking every
// block header as DecompressData does; `length` gets the bytes the blocks declare. So a reader
// can find where each sequence starts and hand the sequences to several decoders.
[[nodiscard]] int SkipCompressedData(ZephDataBuffer& source, uint64_t* length);

}  // namespace ZephUtil
