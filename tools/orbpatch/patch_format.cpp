#include "tools/orbpatch/patch_format.h"

#include <zlib.h>

#include <algorithm>

namespace OrbPatch {
namespace {

constexpr size_t CRC_OFFSET = PATCH_HEADER_SIZE - 4;

template <typename T>
void Put(uint8_t* out, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

template <typename T>
T Get(const uint8_t* in) {
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<T>(in[i]) << (8 * i);
    }
    return value;
}

uint32_t HeaderCrc(const uint8_t* header) {
    return static_cast<uint32_t>(crc32(0L, header, static_cast<uInt>(CRC_OFFSET)));
}

}  // namespace

std::array<uint8_t, PATCH_HEADER_SIZE> EncodeHeader(const PatchHeader& header) {
    std::array<uint8_t, PATCH_HEADER_SIZE> out{};
    std::copy(PATCH_MAGIC.begin(), PATCH_MAGIC.end(), out.begin());
    Put<uint32_t>(&out[8], PATCH_FORMAT_VERSION);
    Put<uint32_t>(&out[12], header.windowLog);
    Put<uint64_t>(&out[16], header.oldSize);
    Put<uint64_t>(&out[24], header.newSize);
    Put<uint64_t>(&out[32], header.oldHash);
    Put<uint64_t>(&out[40], header.newHash);
    Put<uint32_t>(&out[CRC_OFFSET], HeaderCrc(out.data()));
    return out;
}

bool DecodeHeader(std::span<const uint8_t> bytes, PatchHeader* header, std::string* why) {
    if (bytes.size() < PATCH_HEADER_SIZE) {
        *why = "too short to be a difference file";
        return false;
    }
    const uint8_t* in = bytes.data();
    if (!std::equal(PATCH_MAGIC.begin(), PATCH_MAGIC.end(), in)) {
        *why = "not a difference file (wrong magic)";
        return false;
    }
    // The version comes before the checksum: another version may lay out the rest otherwise.
    uint32_t version = Get<uint32_t>(in + 8);
    if (version != PATCH_FORMAT_VERSION) {
        *why = "unsupported format version " + std::to_string(version);
        return false;
    }
    if (Get<uint32_t>(in + CRC_OFFSET) != HeaderCrc(in)) {
        *why = "damaged header (checksum mismatch)";
        return false;
    }
    header->windowLog = Get<uint32_t>(in + 12);
    header->oldSize = Get<uint64_t>(in + 16);
    header->newSize = Get<uint64_t>(in + 24);
    header->oldHash = Get<uint64_t>(in + 32);
    header->newHash = Get<uint64_t>(in + 40);
    return true;
}

}  // namespace OrbPatch
