#include "apply/minisign.h"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "apply/file_ops.h"

namespace ZephPatch {
namespace {

constexpr char kUntrustedPrefix[] = "untrusted comment: ";
constexpr char kTrustedPrefix[] = "trusted comment: ";
constexpr uint8_t kLegacyAlgorithm[2] = {'E', 'd'};
constexpr uint8_t kPrehashedAlgorithm[2] = {'E', 'D'};
constexpr size_t kPublicKeyBytes = 2 + 8 + 32;
constexpr size_t kSignatureBytes = 2 + 8 + 64;

// Lines without their ends (LF or CR LF); a final line end adds no empty line.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return lines;
}

bool StripPrefix(std::string_view line, std::string_view prefix, std::string* rest) {
    if (!line.starts_with(prefix))
        return false;
    *rest = line.substr(prefix.size());
    return true;
}

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

bool Ed25519Verifies(const Ed25519Signature& signature, std::span<const uint8_t> message,
                     const std::array<uint8_t, 32>& key) {
    StartSodium();
    return crypto_sign_verify_detached(signature.data(), message.data(), message.size(),
                                       key.data()) == 0;
}

}  // namespace

void StartSodium() {
    if (sodium_init() < 0)
        std::abort();
}

bool DecodeBase64(std::string_view text, std::string* bytes) {
    StartSodium();
    std::string decoded(text.size() / 4 * 3 + 3, '\0');
    size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(decoded.data()), decoded.size(),
                          text.data(), text.size(), nullptr, &length, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size())
        return false;
    decoded.resize(length);
    *bytes = std::move(decoded);
    return true;
}

std::string EncodeBase64(std::span<const uint8_t> bytes) {
    StartSodium();
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string KeyIdText(const MinisignKeyId& keyId) {
    std::string text;
    char digits[3];
    for (size_t i = keyId.size(); i-- > 0;) {
        std::snprintf(digits, sizeof digits, "%02X", keyId[i]);
        text += digits;
    }
    return text;
}

bool ParsePublicKey(std::string_view base64, MinisignPublicKey* key) {
    std::string bytes;
    if (!DecodeBase64(base64, &bytes) || bytes.size() != kPublicKeyBytes ||
        std::memcmp(bytes.data(), kLegacyAlgorithm, 2) != 0)
        return false;
    std::memcpy(key->keyId.data(), bytes.data() + 2, key->keyId.size());
    std::memcpy(key->key.data(), bytes.data() + 10, key->key.size());
    return true;
}

std::string PublicKeyBase64(const MinisignPublicKey& key) {
    std::vector<uint8_t> bytes(kLegacyAlgorithm, kLegacyAlgorithm + 2);
    bytes.insert(bytes.end(), key.keyId.begin(), key.keyId.end());
    bytes.insert(bytes.end(), key.key.begin(), key.key.end());
    return EncodeBase64(bytes);
}

bool ParsePublicKeyFile(std::string_view text, MinisignPublicKey* key) {
    const auto lines = Lines(text);
    std::string comment;
    return lines.size() == 2 && StripPrefix(lines[0], kUntrustedPrefix, &comment) &&
           ParsePublicKey(lines[1], key);
}

std::string PublicKeyFileText(const MinisignPublicKey& key) {
    return std::string(kUntrustedPrefix) + "minisign public key " + KeyIdText(key.keyId) + "\n" +
           PublicKeyBase64(key) + "\n";
}

bool ParseSignatureFile(std::string_view text, MinisignSignature* signature) {
    const auto lines = Lines(text);
    MinisignSignature parsed;
    std::string bytes, global;
    if (lines.size() != 4 || !StripPrefix(lines[0], kUntrustedPrefix, &parsed.untrustedComment) ||
        !DecodeBase64(lines[1], &bytes) || bytes.size() != kSignatureBytes ||
        !StripPrefix(lines[2], kTrustedPrefix, &parsed.trustedComment) ||
        !DecodeBase64(lines[3], &global) || global.size() != parsed.globalSignature.size())
        return false;
    if (std::memcmp(bytes.data(), kPrehashedAlgorithm, 2) == 0)
        parsed.prehashed = true;
    else if (std::memcmp(bytes.data(), kLegacyAlgorithm, 2) == 0)
        parsed.prehashed = false;
    else
        return false;
    std::memcpy(parsed.keyId.data(), bytes.data() + 2, parsed.keyId.size());
    std::memcpy(parsed.signature.data(), bytes.data() + 10, parsed.signature.size());
    std::memcpy(parsed.globalSignature.data(), global.data(), global.size());
    *signature = std::move(parsed);
    return true;
}

std::string SignatureFileText(const MinisignSignature& signature) {
    const uint8_t* algorithm = signature.prehashed ? kPrehashedAlgorithm : kLegacyAlgorithm;
    std::vector<uint8_t> bytes(algorithm, algorithm + 2);
    bytes.insert(bytes.end(), signature.keyId.begin(), signature.keyId.end());
    bytes.insert(bytes.end(), signature.signature.begin(), signature.signature.end());
    return std::string(kUntrustedPrefix) + signature.untrustedComment + "\n" + EncodeBase64(bytes) +
           "\n" + kTrustedPrefix + signature.trustedComment + "\n" +
           EncodeBase64(signature.globalSignature) + "\n";
}

std::string SignedBytes(std::string_view message, bool prehashed) {
    if (!prehashed)
        return std::string(message);
    Blake2b512 hash;
    hash.Update(message.data(), message.size());
    const Blake2b512Digest digest = hash.Final();
    return std::string(digest.begin(), digest.end());
}

bool SignatureVerifies(const MinisignSignature& signature, const MinisignPublicKey& key,
                       std::span<const uint8_t> signedBytes) {
    if (signature.keyId != key.keyId || !Ed25519Verifies(signature.signature, signedBytes, key.key))
        return false;
    std::vector<uint8_t> global(signature.signature.begin(), signature.signature.end());
    const auto comment = Bytes(signature.trustedComment);
    global.insert(global.end(), comment.begin(), comment.end());
    return Ed25519Verifies(signature.globalSignature, global, key.key);
}

bool SignatureVerifiesMessage(const MinisignSignature& signature, const MinisignPublicKey& key,
                              std::string_view message) {
    return SignatureVerifies(signature, key, Bytes(SignedBytes(message, signature.prehashed)));
}

struct Blake2b512::State {
    crypto_generichash_state state;
};

Blake2b512::Blake2b512() : m_state(std::make_unique<State>()) {
    StartSodium();
    crypto_generichash_init(&m_state->state, nullptr, 0, crypto_generichash_BYTES_MAX);
}

Blake2b512::~Blake2b512() = default;

void Blake2b512::Update(const void* bytes, size_t count) {
    crypto_generichash_update(&m_state->state, static_cast<const unsigned char*>(bytes), count);
}

Blake2b512Digest Blake2b512::Final() {
    Blake2b512Digest digest{};
    crypto_generichash_final(&m_state->state, digest.data(), digest.size());
    return digest;
}

bool SignedBytesOfFile(const std::string& path, bool prehashed, std::string* bytes) {
    std::vector<uint8_t> content;
    if (!prehashed) {
        if (!ReadWholeFile(path, &content))
            return false;
        bytes->assign(content.begin(), content.end());
        return true;
    }
    Blake2b512 hash;
    if (!ReadFileBlocks(path,
                        [&](const uint8_t* block, size_t count) { hash.Update(block, count); }))
        return false;
    const Blake2b512Digest digest = hash.Final();
    bytes->assign(digest.begin(), digest.end());
    return true;
}

}  // namespace ZephPatch
