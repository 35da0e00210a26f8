#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/orbpatch/result.h"

namespace OrbPatch {

// A difference file is a file header followed by one record per block of NEW, in order, each
// record followed by its frame. A block makes its part of NEW from segments: copies of OLD,
// and coded bytes, which its frame decodes to when the block's reference (the listed ranges of
// OLD, concatenated) is given to the decoder as its dictionary. Long runs that OLD and NEW
// share cost a few bytes however long they are; coded bytes, references and frames are
// bounded, so a file of any size is rebuilt in bounded memory. Numbers are little-endian.
//
// File header:
//   offset  size  field
//        0     8  magic "ORBPATCH"
//        8     4  format version (2)
//       12        varints (7 bits a byte, low first): number of blocks, size of OLD in bytes,
//                 size of NEW in bytes
//                 then 4 bytes: CRC-32 (zlib) of the header's bytes before it
//
// Block record:
//        0     4  B, the size of the body
//        4     B  the body, in varints (7 bits a byte, low first) except where a size is given:
//                 block number, counting from 0; codec of the frame (FrameCodec); bytes of NEW
//                 the block makes; coded bytes, what the frame decodes to; bytes of the frame,
//                 which follows the record; R, the number of reference ranges;
//                 4 bytes: the low half of the XXH64 (seed 0) of the reference;
//                 4 bytes: the low half of the XXH64 of the sources of the block's copies, in
//                 order;
//                 8 bytes: the XXH64 of the block's bytes of NEW;
//                 R ranges of OLD in ascending order, each its offset less the end of the range
//                 before it (0 for the first) and its length;
//                 then, to the end of the body, the segments in order, each its length * 2,
//                 plus 1 for a copy, which is followed by the zigzag of its OLD offset less
//                 where it would start had NEW kept OLD's layout (the block's NEW offset, moved
//                 on by each segment: to a copy's end in OLD, or by coded bytes' length)
//      4+B     4  CRC-32 of the record's bytes before it
//
// The CRCs tell a damaged header or record apart; the hashes of OLD's bytes tell a wrong OLD
// from a damaged frame; the hash of NEW's bytes catches whatever else went wrong.
inline constexpr std::array<uint8_t, 8> PATCH_MAGIC = {'O', 'R', 'B', 'P', 'A', 'T', 'C', 'H'};
inline constexpr uint32_t PATCH_FORMAT_VERSION = 2;
inline constexpr size_t VERSION_PREFIX_SIZE = 12;  // magic and version, common to all versions
inline constexpr size_t MAX_FILE_HEADER_SIZE = VERSION_PREFIX_SIZE + 5 + 10 + 10 + 4;
inline constexpr size_t RECORD_PREFIX_SIZE = 4;

// What a decoder holds at once, and so what an encoder may ask of it: with the frame and the
// codec's own copy of the reference, well under 256 MiB.
inline constexpr uint32_t MAX_CODED_BYTES = 16 << 20;
inline constexpr uint64_t MAX_REFERENCE_BYTES = 48 << 20;
inline constexpr uint32_t MAX_REFERENCE_RANGES = 1 << 16;
inline constexpr uint32_t MAX_RECORD_BODY_BYTES = 2 << 20;

// The largest frame `codedBytes` may take: what either codec makes of bytes that do not
// compress, with room to spare.
[[nodiscard]] inline constexpr uint64_t MaxFrameBytes(uint64_t codedBytes) {
    return codedBytes + codedBytes / 128 + 1024;
}

enum FrameCodec : uint32_t {
    CODEC_ZSTD = 0,   // one zstd frame, the reference as its prefix
    CODEC_LZMA2 = 1,  // a raw LZMA2 stream, the reference as its preset dictionary
};

struct FileHeader {
    uint32_t blockCount = 0;
    uint64_t oldSize = 0;
    uint64_t newSize = 0;
    size_t size = 0;  // of the header itself, as read
};

struct OldRange {
    uint64_t offset = 0;
    uint32_t length = 0;

    bool operator==(const OldRange&) const = default;
};

struct Segment {
    uint64_t length = 0;
    bool copy = false;
    uint64_t oldOffset = 0;  // where a copy reads OLD

    bool operator==(const Segment&) const = default;
};

struct BlockRecord {
    uint32_t index = 0;
    uint32_t codec = CODEC_ZSTD;
    uint64_t newBytes = 0;
    uint32_t codedBytes = 0;
    uint32_t frameBytes = 0;
    uint32_t referenceHash = 0;
    uint32_t copyHash = 0;
    uint64_t newHash = 0;
    std::vector<OldRange> ranges;
    std::vector<Segment> segments;

    [[nodiscard]] uint64_t ReferenceBytes() const;
};

// The format version of a file starting with `bytes`, or 0 when it is not a difference file.
[[nodiscard]] uint32_t FormatVersion(std::span<const uint8_t> bytes);

[[nodiscard]] std::vector<uint8_t> EncodeFileHeader(const FileHeader& header);
// Reads the header at the start of `bytes` (the file's first MAX_FILE_HEADER_SIZE bytes, or all
// of a shorter file). ORBPATCH_DIFF_DAMAGED unless they start with an intact version 2 header.
Result DecodeFileHeader(std::span<const uint8_t> bytes, FileHeader* header);

// The record of a block that starts at `newOffset` in NEW.
[[nodiscard]] std::vector<uint8_t> EncodeBlockRecord(const BlockRecord& record, uint64_t newOffset);
// The whole record's size from its first RECORD_PREFIX_SIZE bytes; ORBPATCH_DIFF_DAMAGED when
// it exceeds the limits above.
Result BlockRecordSize(std::span<const uint8_t> prefix, size_t* size);
// ORBPATCH_DIFF_DAMAGED unless `bytes` is exactly one intact and consistent record of a block
// that starts at `newOffset`, within the limits above.
Result DecodeBlockRecord(std::span<const uint8_t> bytes, uint64_t newOffset, BlockRecord* record);

}  // namespace OrbPatch
