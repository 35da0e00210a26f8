// The segment checksum by folding with carry-less multiplication: 128-bit lanes hold the data
// most significant byte first, and a lane moved d bits further from the end is replaced by
// hi * (x^(d+64) mod P) + lo * (x^d mod P), which keeps the value modulo P. The folded 16 bytes
// are then finished with the table-driven form.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "repair/segment_checksum.h"

namespace ZephPatch::detail {
namespace {

constexpr uint32_t kPolynomial = 0x04C11DB7;

// x^d mod P.
constexpr uint64_t PowerOfX(int d) {
    uint32_t r = 1;
    for (int i = 0; i < d; ++i)
        r = (r & 0x80000000u) ? (r << 1) ^ kPolynomial : r << 1;
    return r;
}

constexpr uint64_t kFold512Hi = PowerOfX(512 + 64);
constexpr uint64_t kFold512Lo = PowerOfX(512);
constexpr uint64_t kFold128Hi = PowerOfX(128 + 64);
constexpr uint64_t kFold128Lo = PowerOfX(128);

#define CLMUL_TARGET __attribute__((target("pclmul,ssse3")))

CLMUL_TARGET inline __m128i Load(const uint8_t* p, __m128i byteSwap) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), byteSwap);
}

CLMUL_TARGET inline __m128i Fold(__m128i lane, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x11),
                         _mm_clmulepi64_si128(lane, constants, 0x00));
}

}  // namespace

bool HasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

CLMUL_TARGET uint32_t UpdateSegmentChecksumClmul(uint32_t crc, const uint8_t* p, size_t length) {
    if (length < 64)
        return UpdateSegmentChecksumPortable(crc, p, length);
    const __m128i byteSwap = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i fold512 = _mm_set_epi64x(kFold512Hi, kFold512Lo);
    const __m128i fold128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);

    // The running checksum joins the first four bytes, as in the table-driven form.
    __m128i lane0 = _mm_xor_si128(Load(p, byteSwap), _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    __m128i lane1 = Load(p + 16, byteSwap);
    __m128i lane2 = Load(p + 32, byteSwap);
    __m128i lane3 = Load(p + 48, byteSwap);
    p += 64;
    length -= 64;
    while (length >= 64) {
        lane0 = _mm_xor_si128(Fold(lane0, fold512), Load(p, byteSwap));
        lane1 = _mm_xor_si128(Fold(lane1, fold512), Load(p + 16, byteSwap));
        lane2 = _mm_xor_si128(Fold(lane2, fold512), Load(p + 32, byteSwap));
        lane3 = _mm_xor_si128(Fold(lane3, fold512), Load(p + 48, byteSwap));
        p += 64;
        length -= 64;
    }
    __m128i folded = _mm_xor_si128(Fold(lane0, fold128), lane1);
    folded = _mm_xor_si128(Fold(folded, fold128), lane2);
    folded = _mm_xor_si128(Fold(folded, fold128), lane3);
    while (length >= 16) {
        folded = _mm_xor_si128(Fold(folded, fold128), Load(p, byteSwap));
        p += 16;
        length -= 16;
    }
    alignas(16) uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_shuffle_epi8(folded, byteSwap));
    return UpdateSegmentChecksumPortable(UpdateSegmentChecksumPortable(0, bytes, 16), p, length);
}

}  // namespace ZephPatch::detail
