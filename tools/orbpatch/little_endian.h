#pragma once

#include <cstddef>
#include <cstdint>

namespace OrbPatch {

// The byte order of every number in a difference file.
template <typename T>
void PutLittleEndian(uint8_t* out, T value) {
    for (size_t i = 0; i < sizeof(T); ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

template <typename T>
[[nodiscard]] T GetLittleEndian(const uint8_t* in) {
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        value |= static_cast<T>(in[i]) << (8 * i);
    }
    return value;
}

}  // namespace OrbPatch
