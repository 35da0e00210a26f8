// SHA-256 digests, the identity of a patch archive in a signed catalogue. The hashing is the
// system's crypto library (hardware-accelerated where the processor can), never our own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ZephPatch {

using Sha256Digest = std::array<uint8_t, 32>;

// One digest: Update as often as needed, then Final once.
// REQUIRES: external synchronization.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* bytes, size_t count);
    // The digest of everything fed since construction; the object is spent afterwards.
    [[nodiscard]] Sha256Digest Final();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

// Reads the file in blocks (never whole): its size and digest. False when it cannot be opened
// or read to its end.
[[nodiscard]] bool Sha256OfFile(const std::string& path, uint64_t* size, Sha256Digest* digest);

// 64 lower-case hexadecimal digits.
[[nodiscard]] std::string Sha256Hex(const Sha256Digest& digest);
// Accepts 64 hexadecimal digits of either case; false, leaving `digest` alone, for anything else.
[[nodiscard]] bool ParseSha256Hex(std::string_view text, Sha256Digest* digest);

}  // namespace ZephPatch
