#pragma once

#include <cstdint>
#include <span>

namespace OrbPatch {

// XXH64 of `data` with `seed`: the 64-bit hash the difference header keeps for OLD and NEW.
// It is the same function as zstd's frame checksum (whose stored form is the low 32 bits), and
// runs at memory speed, so checking a file of hundreds of MiB costs little.
uint64_t Xxh64(std::span<const uint8_t> data, uint64_t seed = 0);

}  // namespace OrbPatch
