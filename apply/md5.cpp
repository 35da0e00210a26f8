#include "apply/md5.h"

#include <cstring>
#include <iostream>
#include <memory>
#include <utility>

#include "kernel/files/file_utils.h"

namespace ZephPatch {
namespace {

// Per-round shift amounts and the integer parts of |sin(i + 1)| * 2^32 (RFC 1321, 3.4).
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Files are read through a buffer of this size, never whole.
constexpr size_t kReadBufferSize = 64 * 1024;

uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// Step I of the 64 (RFC 1321, 3.4): the round's function of b, c, d, the message word it
// takes, the sine constant and the shift; then the four words move along by one.
template <int I>
inline void Step(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t x[16]) {
    constexpr int kRound = I / 16;
    constexpr int kWord = kRound == 0   ? I
                          : kRound == 1 ? (5 * I + 1) % 16
                          : kRound == 2 ? (3 * I + 5) % 16
                                        : (7 * I) % 16;
    uint32_t f;
    if constexpr (kRound == 0) {
        f = (b & c) | (~b & d);
    } else if constexpr (kRound == 1) {
        f = (b & d) | (c & ~d);
    } else if constexpr (kRound == 2) {
        f = b ^ c ^ d;
    } else {
        f = c ^ (b | ~d);
    }
    const uint32_t rotated = RotateLeft(a + f + kSine[I] + x[kWord], kShift[kRound][I % 4]);
    a = d;
    d = c;
    c = b;
    b += rotated;
}

template <int First, int... Offsets>
inline void Rounds(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t x[16],
                   std::integer_sequence<int, Offsets...>) {
    (Step<First + Offsets>(a, b, c, d, x), ...);
}

void EncodeLittleEndian(uint8_t* out, const uint32_t* in, size_t words) {
    for (size_t i = 0; i < words; ++i) {
        for (int b = 0; b < 4; ++b)
            out[i * 4 + b] = static_cast<uint8_t>(in[i] >> (8 * b));
    }
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

MD5::MD5()
    : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476},
      m_count{0, 0},
      m_buffer{},
      m_digest{} {}

MD5::MD5(FILE* file) : MD5() {
    update(file);
    finalize();
}

void MD5::update(const uint8_t* bytes, size_t length) {
    if (m_finalized) {
        std::cerr << "MD5::update:  Can't update a finalized digest!" << std::endl;
        return;
    }
    size_t index = (m_count[0] >> 3) & 0x3F;
    const uint64_t bits = (static_cast<uint64_t>(m_count[1]) << 32 | m_count[0]) +
                          (static_cast<uint64_t>(length) << 3);
    m_count[0] = static_cast<uint32_t>(bits);
    m_count[1] = static_cast<uint32_t>(bits >> 32);

    size_t consumed = 0;
    const size_t room = 64 - index;
    if (length >= room) {
        std::memcpy(m_buffer + index, bytes, room);
        transform(m_buffer);
        for (consumed = room; consumed + 63 < length; consumed += 64)
            transform(bytes + consumed);
        index = 0;
    }
    if (length > consumed)
        std::memcpy(m_buffer + index, bytes + consumed, length - consumed);
}

void MD5::update(FILE* file) {
    auto buffer = std::make_unique<uint8_t[]>(kReadBufferSize);
    size_t got;
    while ((got = std::fread(buffer.get(), 1, kReadBufferSize, file)) > 0) {
        update(buffer.get(), got);
    }
}

void MD5::finalize() {
    if (m_finalized) {
        std::cerr << "MD5::finalize:  Already finalized this digest!" << std::endl;
        return;
    }
    uint8_t bits[8];
    EncodeLittleEndian(bits, m_count, 2);
    // Pad with 0x80 and zeros to 56 bytes modulo 64, then the bit count.
    static const uint8_t kPadding[64] = {0x80};
    const size_t index = (m_count[0] >> 3) & 0x3F;
    update(kPadding, index < 56 ? 56 - index : 120 - index);
    update(bits, 8);
    EncodeLittleEndian(m_digest, m_state, 4);
    std::memset(m_buffer, 0, sizeof m_buffer);
    m_finalized = true;
}

std::string MD5::hex_digest() const {
    if (!m_finalized) {
        std::cerr << "MD5::hex_digest:  Can't get digest if you haven't "
                  << "finalized the digest!" << std::endl;
        return {};
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(32);
    for (uint8_t byte : m_digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

void MD5::transform(const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = static_cast<uint32_t>(block[i * 4]) | static_cast<uint32_t>(block[i * 4 + 1]) << 8 |
               static_cast<uint32_t>(block[i * 4 + 2]) << 16 |
               static_cast<uint32_t>(block[i * 4 + 3]) << 24;
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    // The 64 steps written out, so that every shift and index is a constant.
    Rounds<0>(a, b, c, d, x, std::make_integer_sequence<int, 16>());
    Rounds<16>(a, b, c, d, x, std::make_integer_sequence<int, 16>());
    Rounds<32>(a, b, c, d, x, std::make_integer_sequence<int, 16>());
    Rounds<48>(a, b, c, d, x, std::make_integer_sequence<int, 16>());
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

bool FileMd5Hex(const std::string& path, std::string* out) {
    std::unique_ptr<FILE, FileCloser> file(ZephUtil::OpenStream(path, "rb"));
    if (!file)
        return false;
    MD5 digest(file.get());
    // A read that failed part-way (or a folder) has no digest: a partial one would pass for
    // a damaged file.
    if (std::ferror(file.get()))
        return false;
    const std::string hex = digest.hex_digest();
    if (hex.empty())
        return false;
    *out = hex;
    return true;
}

}  // namespace ZephPatch
