#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace OrbPatch {

// XXH64 of `data` with `seed`: the 64-bit hash difference files keep of what OLD and NEW hold.
// It is the same function as zstd's frame checksum (whose stored form is the low 32 bits), and
// runs at memory speed, so checking a file of hundreds of MiB costs little.
[[nodiscard]] uint64_t Xxh64(std::span<const uint8_t> data, uint64_t seed = 0);

// The same hash over data that arrives in pieces.
class Xxh64Stream {
public:
    explicit Xxh64Stream(uint64_t seed = 0);
    void Update(std::span<const uint8_t> data);
    // The hash of everything given so far.
    [[nodiscard]] uint64_t Digest() const;

private:
    uint64_t m_lanes[4];
    uint64_t m_seed;
    uint64_t m_total = 0;
    uint8_t m_pending[32];  // the start of an incomplete stripe
    size_t m_pendingSize = 0;
};

}  // namespace OrbPatch
