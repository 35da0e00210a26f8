#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace OrbPatch {

// A difference file is this fixed header followed by exactly one zstd frame that decodes to NEW
// when OLD is given to the decoder as its prefix. All header numbers are little-endian:
//
//   offset  size  field
//        0     8  magic "ORBPATCH"
//        8     4  format version (1)
//       12     4  zstd window log the frame was made with
//       16     8  size of OLD in bytes
//       24     8  size of NEW in bytes
//       32     8  XXH64 of OLD (seed 0)
//       40     8  XXH64 of NEW (seed 0)
//       48     4  CRC-32 (zlib) of bytes 0 to 47
//
// The hashes tell a wrong OLD and a damaged frame apart from success; the CRC tells a damaged
// header apart from a wrong OLD.
inline constexpr std::array<uint8_t, 8> PATCH_MAGIC = {'O', 'R', 'B', 'P', 'A', 'T', 'C', 'H'};
inline constexpr uint32_t PATCH_FORMAT_VERSION = 1;
inline constexpr size_t PATCH_HEADER_SIZE = 52;

struct PatchHeader {
    uint32_t windowLog = 0;
    uint64_t oldSize = 0;
    uint64_t newSize = 0;
    uint64_t oldHash = 0;
    uint64_t newHash = 0;
};

std::array<uint8_t, PATCH_HEADER_SIZE> EncodeHeader(const PatchHeader& header);

// Reads the header at the start of `bytes` into `header`. Returns false, with the reason in
// `why`, when `bytes` is too short or is not an intact header of this format version.
bool DecodeHeader(std::span<const uint8_t> bytes, PatchHeader* header, std::string* why);

}  // namespace OrbPatch
