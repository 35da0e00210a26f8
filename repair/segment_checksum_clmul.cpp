// The segment checksum by folding with carry-less multiplication: 128-bit lanes hold the data
// most significant byte first, and a lane moved d bits further from the end is replaced by
// hi * (x^(d+64) mod P) + lo * (x^d mod P), which keeps the value modulo P. Where the processor
// multiplies four lanes at once (512-bit registers), it folds 256 bytes per round. The folded
// 16 bytes are then finished with the table-driven form.
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
constexpr uint64_t kFold2048Hi = PowerOfX(2048 + 64);
constexpr uint64_t kFold2048Lo = PowerOfX(2048);

#define CLMUL_TARGET __attribute__((target("pclmul,ssse3")))
#define CLMUL512_TARGET __attribute__((target("pclmul,ssse3,avx512f,avx512bw,vpclmulqdq")))

CLMUL_TARGET inline __m128i Load(const uint8_t* p, __m128i byteSwap) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), byteSwap);
}

CLMUL_TARGET inline __m128i Fold(__m128i lane, __m128i constants) {
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x11),
                         _mm_clmulepi64_si128(lane, constants, 0x00));
}

CLMUL512_TARGET inline __m512i Load512(const uint8_t* p, __m512i byteSwap) {
    return _mm512_shuffle_epi8(_mm512_loadu_si512(p), byteSwap);
}

CLMUL512_TARGET inline __m512i Fold512(__m512i lanes, __m512i constants) {
    return _mm512_xor_si512(_mm512_clmulepi64_epi128(lanes, constants, 0x11),
                            _mm512_clmulepi64_epi128(lanes, constants, 0x00));
}

// The remaining whole 16-byte blocks folded in, then the folded value and the last bytes
// through the tables.
CLMUL_TARGET uint32_t FinishFolded(__m128i folded, const uint8_t* p, size_t length) {
    const __m128i byteSwap = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i fold128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
    while (length >= 16) {
        folded = _mm_xor_si128(Fold(folded, fold128), Load(p, byteSwap));
        p += 16;
        length -= 16;
    }
    alignas(16) uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_shuffle_epi8(folded, byteSwap));
    return UpdateSegmentChecksumPortable(UpdateSegmentChecksumPortable(0, bytes, 16), p, length);
}

}  // namespace

bool HasClmul() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

bool HasClmul512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512f") && HasClmul();
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
    return FinishFolded(folded, p, length);
}

// Four 512-bit registers of four lanes each: 256 bytes per round.
CLMUL512_TARGET uint32_t UpdateSegmentChecksumClmul512(uint32_t crc, const uint8_t* p,
                                                       size_t length) {
    if (length < 256)
        return UpdateSegmentChecksumClmul(crc, p, length);
    // Built without the broadcast and extract intrinsics, whose "undefined" operands make
    // GCC 12 warn inside its own headers.
    alignas(64) static const uint8_t kByteSwap[64] = {
        15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0,  15, 14, 13, 12, 11, 10,
        9,  8,  7,  6,  5,  4,  3,  2,  1,  0,  15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,
        3,  2,  1,  0,  15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0};
    const __m512i byteSwap = _mm512_load_si512(kByteSwap);
    const __m512i fold2048 = _mm512_set_epi64(kFold2048Hi, kFold2048Lo, kFold2048Hi, kFold2048Lo,
                                              kFold2048Hi, kFold2048Lo, kFold2048Hi, kFold2048Lo);
    const __m512i fold512 = _mm512_set_epi64(kFold512Hi, kFold512Lo, kFold512Hi, kFold512Lo,
                                             kFold512Hi, kFold512Lo, kFold512Hi, kFold512Lo);
    __m512i block0 =
        _mm512_xor_si512(Load512(p, byteSwap),
                         _mm512_zextsi128_si512(_mm_set_epi32(static_cast<int>(crc), 0, 0, 0)));
    __m512i block1 = Load512(p + 64, byteSwap);
    __m512i block2 = Load512(p + 128, byteSwap);
    __m512i block3 = Load512(p + 192, byteSwap);
    p += 256;
    length -= 256;
    while (length >= 256) {
        block0 = _mm512_xor_si512(Fold512(block0, fold2048), Load512(p, byteSwap));
        block1 = _mm512_xor_si512(Fold512(block1, fold2048), Load512(p + 64, byteSwap));
        block2 = _mm512_xor_si512(Fold512(block2, fold2048), Load512(p + 128, byteSwap));
        block3 = _mm512_xor_si512(Fold512(block3, fold2048), Load512(p + 192, byteSwap));
        p += 256;
        length -= 256;
    }
    __m512i all = _mm512_xor_si512(Fold512(block0, fold512), block1);
    all = _mm512_xor_si512(Fold512(all, fold512), block2);
    all = _mm512_xor_si512(Fold512(all, fold512), block3);

    const __m128i fold128 = _mm_set_epi64x(kFold128Hi, kFold128Lo);
    alignas(64) __m128i lanes[4];
    _mm512_store_si512(lanes, all);
    __m128i folded = lanes[0];
    for (int i = 1; i < 4; ++i)
        folded = _mm_xor_si128(Fold(folded, fold128), lanes[i]);
    return FinishFolded(folded, p, length);
}

}  // namespace ZephPatch::detail
