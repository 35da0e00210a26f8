#include "repair/segment_checksum.h"

#include <array>

namespace ZephPatch {

constexpr uint32_t kPolynomial = 0x04C11DB7;

namespace detail {
uint32_t UpdateSegmentChecksumClmul(uint32_t crc, const uint8_t* data, size_t length);
uint32_t UpdateSegmentChecksumClmul512(uint32_t crc, const uint8_t* data, size_t length);
bool HasClmul();
bool HasClmul512();
}  // namespace detail

namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

// tables[k][b]: the checksum of byte b followed by k zero bytes.
constexpr Tables MakeTables() {
    Tables tables{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b << 24;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 0x80000000u) ? (c << 1) ^ kPolynomial : c << 1;
        tables[0][b] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t b = 0; b < 256; ++b) {
            const uint32_t previous = tables[k - 1][b];
            tables[k][b] = (previous << 8) ^ tables[0][previous >> 24];
        }
    return tables;
}

constexpr Tables kTables = MakeTables();

inline uint32_t LoadBigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

using Update = uint32_t (*)(uint32_t crc, const uint8_t* data, size_t length);

uint32_t Portable(uint32_t crc, const uint8_t* data, size_t length) {
    return UpdateSegmentChecksumPortable(crc, data, length);
}

// The widest form the processor runs.
const Update g_update = detail::HasClmul512() ? detail::UpdateSegmentChecksumClmul512
                        : detail::HasClmul()  ? detail::UpdateSegmentChecksumClmul
                                              : Portable;

}  // namespace

uint32_t UpdateSegmentChecksumPortable(uint32_t crc, const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    // Eight bytes at a time: the register folds into the first four, the tables advance
    // each byte past the ones that follow it.
    while (length >= 8) {
        const uint32_t c = crc ^ LoadBigEndian32(p);
        crc = kTables[7][c >> 24] ^ kTables[6][(c >> 16) & 0xFF] ^ kTables[5][(c >> 8) & 0xFF] ^
              kTables[4][c & 0xFF] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^
              kTables[0][p[7]];
        p += 8;
        length -= 8;
    }
    while (length-- > 0)
        crc = (crc << 8) ^ kTables[0][(crc >> 24) ^ *p++];
    return crc;
}

uint32_t UpdateSegmentChecksum(uint32_t crc, const void* data, size_t length) {
    return g_update(crc, static_cast<const uint8_t*>(data), length);
}

}  // namespace ZephPatch
