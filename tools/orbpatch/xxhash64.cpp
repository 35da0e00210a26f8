#include "tools/orbpatch/xxhash64.h"

#include <bit>
#include <cstring>

namespace OrbPatch {
namespace {

constexpr uint64_t PRIME1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t PRIME2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t PRIME3 = 0x165667B19E3779F9ULL;
constexpr uint64_t PRIME4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t PRIME5 = 0x27D4EB2F165667C5ULL;

// The hash is defined on little-endian words; this machine is little-endian (x86-64).
static_assert(std::endian::native == std::endian::little);

uint64_t Read64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t Read32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint64_t Round(uint64_t acc, uint64_t input) {
    acc += input * PRIME2;
    acc = std::rotl(acc, 31);
    return acc * PRIME1;
}

uint64_t MergeRound(uint64_t acc, uint64_t value) {
    acc ^= Round(0, value);
    return acc * PRIME1 + PRIME4;
}

// Consumes whole 32-byte stripes with four independent lanes; returns the folded lanes.
uint64_t HashStripes(const uint8_t*& p, const uint8_t* end, uint64_t seed) {
    uint64_t v1 = seed + PRIME1 + PRIME2;
    uint64_t v2 = seed + PRIME2;
    uint64_t v3 = seed;
    uint64_t v4 = seed - PRIME1;
    while (end - p >= 32) {
        v1 = Round(v1, Read64(p));
        v2 = Round(v2, Read64(p + 8));
        v3 = Round(v3, Read64(p + 16));
        v4 = Round(v4, Read64(p + 24));
        p += 32;
    }
    uint64_t h = std::rotl(v1, 1) + std::rotl(v2, 7) + std::rotl(v3, 12) + std::rotl(v4, 18);
    h = MergeRound(h, v1);
    h = MergeRound(h, v2);
    h = MergeRound(h, v3);
    return MergeRound(h, v4);
}

uint64_t HashTail(uint64_t h, const uint8_t* p, const uint8_t* end) {
    for (; end - p >= 8; p += 8) {
        h ^= Round(0, Read64(p));
        h = std::rotl(h, 27) * PRIME1 + PRIME4;
    }
    if (end - p >= 4) {
        h ^= uint64_t{Read32(p)} * PRIME1;
        h = std::rotl(h, 23) * PRIME2 + PRIME3;
        p += 4;
    }
    for (; p < end; ++p) {
        h ^= *p * PRIME5;
        h = std::rotl(h, 11) * PRIME1;
    }
    return h;
}

uint64_t Avalanche(uint64_t h) {
    h ^= h >> 33;
    h *= PRIME2;
    h ^= h >> 29;
    h *= PRIME3;
    return h ^ (h >> 32);
}

}  // namespace

uint64_t Xxh64(std::span<const uint8_t> data, uint64_t seed) {
    const uint8_t* p = data.data();
    const uint8_t* end = p + data.size();
    uint64_t h = data.size() >= 32 ? HashStripes(p, end, seed) : seed + PRIME5;
    h += data.size();
    return Avalanche(HashTail(h, p, end));
}

}  // namespace OrbPatch
