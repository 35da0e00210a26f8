// MD5 digests (RFC 1321), the identity of an installed file's content in patch lists.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace ZephPatch {

// One digest: feed it with `update`, close it with `finalize`, read it with `hex_digest`.
// Misuse (update after finalize, a second finalize, hex_digest before finalize) is reported
// on standard error and otherwise ignored. Not thread-safe; one object per digest.
class MD5 {
public:
    MD5();
    // Digests the rest of an open file and finalizes. The file stays open: its owner closes it.
    explicit MD5(FILE* file);

    void update(const uint8_t* bytes, size_t length);
    // Reads the file to its end through one fixed buffer, never holding it whole.
    void update(FILE* file);
    void finalize();
    // 32 lower-case hexadecimal digits; empty before finalize.
    [[nodiscard]] std::string hex_digest() const;

private:
    void transform(const uint8_t block[64]);

    uint32_t m_state[4];
    uint32_t m_count[2];  // bits hashed so far, low word first
    uint8_t m_buffer[64];
    uint8_t m_digest[16];
    bool m_finalized = false;
};

// The lower-case hex digest of a file's content. False, leaving `out` alone, when the file
// cannot be opened or read to its end; otherwise true.
[[nodiscard]] bool FileMd5Hex(const std::string& path, std::string* out);

}  // namespace ZephPatch
