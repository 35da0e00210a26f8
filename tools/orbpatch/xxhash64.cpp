#include "tools/orbpatch/xxhash64.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace OrbPatch {
namespace {

constexpr uint64_t PRIME1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t PRIME2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t PRIME3 = 0x165667B19E3779F9ULL;
constexpr uint64_t PRIME4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t PRIME5 = 0x27D4EB2F165667C5ULL;
constexpr size_t STRIPE = 32;

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

// Consumes whole 32-byte stripes into the four independent lanes; returns the bytes consumed.
// The lanes are worked on in locals: through the pointer the compiler would have to assume
// that every store may change the input.
size_t HashStripes(uint64_t* lanes, const uint8_t* p, size_t size) {
    uint64_t v1 = lanes[0], v2 = lanes[1], v3 = lanes[2], v4 = lanes[3];
    size_t done = 0;
    for (; size - done >= STRIPE; done += STRIPE) {
        v1 = Round(v1, Read64(p + done));
        v2 = Round(v2, Read64(p + done + 8));
        v3 = Round(v3, Read64(p + done + 16));
        v4 = Round(v4, Read64(p + done + 24));
    }
    lanes[0] = v1;
    lanes[1] = v2;
    lanes[2] = v3;
    lanes[3] = v4;
    return done;
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
    Xxh64Stream stream(seed);
    stream.Update(data);
    return stream.Digest();
}

Xxh64Stream::Xxh64Stream(uint64_t seed)
    : m_lanes{seed + PRIME1 + PRIME2, seed + PRIME2, seed, seed - PRIME1}, m_seed(seed) {}

void Xxh64Stream::Update(std::span<const uint8_t> data) {
    if (data.empty()) {
        return;  // an empty span may hold no pointer, which memcpy must not be given
    }
    m_total += data.size();
    if (m_pendingSize > 0) {
        size_t take = std::min(STRIPE - m_pendingSize, data.size());
        std::memcpy(m_pending + m_pendingSize, data.data(), take);
        m_pendingSize += take;
        data = data.subspan(take);
        if (m_pendingSize < STRIPE) {
            return;
        }
        HashStripes(m_lanes, m_pending, STRIPE);
        m_pendingSize = 0;
    }
    size_t done = HashStripes(m_lanes, data.data(), data.size());
    m_pendingSize = data.size() - done;
    std::memcpy(m_pending, data.data() + done, m_pendingSize);
}

uint64_t Xxh64Stream::Digest() const {
    uint64_t h;
    if (m_total >= STRIPE) {
        const uint64_t* v = m_lanes;
        h = std::rotl(v[0], 1) + std::rotl(v[1], 7) + std::rotl(v[2], 12) + std::rotl(v[3], 18);
        for (int lane = 0; lane < 4; ++lane) {
            h = MergeRound(h, v[lane]);
        }
    } else {
        h = m_seed + PRIME5;
    }
    h += m_total;
    return Avalanche(HashTail(h, m_pending, m_pending + m_pendingSize));
}

}  // namespace OrbPatch
