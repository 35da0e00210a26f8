#include "apply/sha256.h"

#include "apply/file_ops.h"

namespace ZephPatch {

bool Sha256OfFile(const std::string& path, uint64_t* size, Sha256Digest* digest) {
    Sha256 sha;
    uint64_t total = 0;
    if (!ReadFileBlocks(path, [&](const uint8_t* block, size_t count) {
            sha.Update(block, count);
            total += count;
        }))
        return false;
    *size = total;
    *digest = sha.Final();
    return true;
}

std::string Sha256Hex(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

bool ParseSha256Hex(std::string_view text, Sha256Digest* digest) {
    if (text.size() != 2 * digest->size())
        return false;
    Sha256Digest parsed{};
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else
            return false;
        parsed[i / 2] = static_cast<uint8_t>(parsed[i / 2] << 4 | value);
    }
    *digest = parsed;
    return true;
}

}  // namespace ZephPatch
