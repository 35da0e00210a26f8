#include "tools/zephpack/secret_key.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "apply/file_ops.h"

namespace ZephPack {
namespace {

using ZephPatch::MinisignPublicKey;
using ZephPatch::MinisignSignature;

constexpr char kComment[] = "untrusted comment: minisign secret key (not encrypted)\n";
constexpr uint8_t kSignatureAlgorithm[2] = {'E', 'd'};
constexpr uint8_t kScrypt[2] = {'S', 'c'};
constexpr uint8_t kNoKdf[2] = {0, 0};
constexpr uint8_t kBlake2b[2] = {'B', '2'};

// Offsets in the decoded file.
constexpr size_t kKdfAt = 2, kChecksumAlgorithmAt = 4, kSaltAt = 6, kOpsLimitAt = 38,
                 kMemLimitAt = 46, kKeyIdAt = 54, kSecretAt = 62, kChecksumAt = 126, kSize = 158;
constexpr size_t kEncryptedBytes = kSize - kKeyIdAt;

using Checksum = std::array<uint8_t, crypto_generichash_BYTES>;

Checksum ChecksumOf(const SecretKey& key) {
    Checksum sum{};
    crypto_generichash_state state;
    crypto_generichash_init(&state, nullptr, 0, sum.size());
    crypto_generichash_update(&state, kSignatureAlgorithm, sizeof kSignatureAlgorithm);
    crypto_generichash_update(&state, key.keyId.data(), key.keyId.size());
    crypto_generichash_update(&state, key.secret.data(), key.secret.size());
    crypto_generichash_final(&state, sum.data(), sum.size());
    return sum;
}

uint64_t LittleEndian(const uint8_t* bytes) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// XORs the key id, key and checksum with the scrypt stream of the password.
bool Decrypt(std::vector<uint8_t>* bytes, const PasswordSource& password, std::string* error) {
    std::string text;
    if (!password || !password(&text)) {
        *error = "the key is encrypted and no password was given";
        return false;
    }
    std::array<uint8_t, kEncryptedBytes> stream{};
    const int derived = crypto_pwhash_scryptsalsa208sha256(
        stream.data(), stream.size(), text.data(), text.size(), bytes->data() + kSaltAt,
        LittleEndian(bytes->data() + kOpsLimitAt),
        static_cast<size_t>(LittleEndian(bytes->data() + kMemLimitAt)));
    sodium_memzero(text.data(), text.size());
    if (derived != 0) {
        *error = "the key's password could not be applied (out of memory?)";
        return false;
    }
    for (size_t i = 0; i < stream.size(); ++i)
        (*bytes)[kKeyIdAt + i] ^= stream[i];
    sodium_memzero(stream.data(), stream.size());
    return true;
}

// The key's public half is stored twice (in the key and derivable from its seed); a key whose
// two halves disagree is damaged, whatever its checksum says.
bool Consistent(const SecretKey& key) {
    std::array<uint8_t, 32> publicKey{};
    std::array<uint8_t, 64> secret{};
    crypto_sign_seed_keypair(publicKey.data(), secret.data(), key.secret.data());
    const bool same = secret == key.secret;
    sodium_memzero(secret.data(), secret.size());
    return same;
}

bool ParseSecretKey(std::vector<uint8_t> bytes, const PasswordSource& password, SecretKey* key,
                    std::string* error) {
    if (bytes.size() != kSize || std::memcmp(bytes.data(), kSignatureAlgorithm, 2) != 0 ||
        std::memcmp(bytes.data() + kChecksumAlgorithmAt, kBlake2b, 2) != 0) {
        *error = "not a minisign secret key";
        return false;
    }
    const bool encrypted = std::memcmp(bytes.data() + kKdfAt, kScrypt, 2) == 0;
    if (!encrypted && std::memcmp(bytes.data() + kKdfAt, kNoKdf, 2) != 0) {
        *error = "the key is encrypted in a way this tool does not know";
        return false;
    }
    if (encrypted && !Decrypt(&bytes, password, error))
        return false;
    SecretKey parsed;
    std::memcpy(parsed.keyId.data(), bytes.data() + kKeyIdAt, parsed.keyId.size());
    std::memcpy(parsed.secret.data(), bytes.data() + kSecretAt, parsed.secret.size());
    Checksum stored;
    std::memcpy(stored.data(), bytes.data() + kChecksumAt, stored.size());
    sodium_memzero(bytes.data(), bytes.size());
    // minisign leaves the checksum of a plain key empty.
    const bool unchecked = !encrypted && stored == Checksum{};
    if ((!unchecked && stored != ChecksumOf(parsed)) || !Consistent(parsed)) {
        *error = encrypted ? "wrong password, or a damaged key" : "the key is damaged";
        return false;
    }
    *key = parsed;
    return true;
}

}  // namespace

SecretKey::~SecretKey() {
    sodium_memzero(secret.data(), secret.size());
}

SecretKey GenerateKeyPair() {
    ZephPatch::StartSodium();
    SecretKey key;
    std::array<uint8_t, 32> publicKey{};
    crypto_sign_keypair(publicKey.data(), key.secret.data());
    randombytes_buf(key.keyId.data(), key.keyId.size());
    return key;
}

MinisignPublicKey PublicKeyOf(const SecretKey& key) {
    MinisignPublicKey publicKey;
    publicKey.keyId = key.keyId;
    crypto_sign_ed25519_sk_to_pk(publicKey.key.data(), key.secret.data());
    return publicKey;
}

bool ReadSecretKeyFile(const std::string& path, const PasswordSource& password, SecretKey* key,
                       std::string* error) {
    ZephPatch::StartSodium();
    std::vector<uint8_t> file;
    if (!ZephPatch::ReadWholeFile(path, &file)) {
        *error = "cannot read " + path;
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(file.data()), file.size());
    const size_t lineEnd = text.find('\n');
    std::string_view line = lineEnd == std::string_view::npos ? "" : text.substr(lineEnd + 1);
    line = line.substr(0, line.find_first_of("\r\n"));
    std::string decoded;
    const bool readable =
        text.starts_with("untrusted comment: ") && ZephPatch::DecodeBase64(line, &decoded);
    sodium_memzero(file.data(), file.size());
    if (!readable) {
        *error = path + " is not a minisign secret key";
        return false;
    }
    std::vector<uint8_t> bytes(decoded.begin(), decoded.end());
    sodium_memzero(decoded.data(), decoded.size());
    if (!ParseSecretKey(std::move(bytes), password, key, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

std::string PlainSecretKeyFileText(const SecretKey& key) {
    std::vector<uint8_t> bytes(kSize, 0);
    std::memcpy(bytes.data(), kSignatureAlgorithm, 2);
    std::memcpy(bytes.data() + kChecksumAlgorithmAt, kBlake2b, 2);
    std::memcpy(bytes.data() + kKeyIdAt, key.keyId.data(), key.keyId.size());
    std::memcpy(bytes.data() + kSecretAt, key.secret.data(), key.secret.size());
    const Checksum sum = ChecksumOf(key);
    std::memcpy(bytes.data() + kChecksumAt, sum.data(), sum.size());
    std::string text = kComment + ZephPatch::EncodeBase64(bytes) + "\n";
    sodium_memzero(bytes.data(), bytes.size());
    return text;
}

MinisignSignature SignBytes(const SecretKey& key, std::span<const uint8_t> signedBytes,
                            bool prehashed, const std::string& trustedComment) {
    ZephPatch::StartSodium();
    MinisignSignature signature;
    signature.prehashed = prehashed;
    signature.keyId = key.keyId;
    signature.untrustedComment = "signature from zephpack, key " + ZephPatch::KeyIdText(key.keyId);
    signature.trustedComment = trustedComment;
    crypto_sign_detached(signature.signature.data(), nullptr, signedBytes.data(),
                         signedBytes.size(), key.secret.data());
    std::vector<uint8_t> global(signature.signature.begin(), signature.signature.end());
    global.insert(global.end(), trustedComment.begin(), trustedComment.end());
    crypto_sign_detached(signature.globalSignature.data(), nullptr, global.data(), global.size(),
                         key.secret.data());
    return signature;
}

}  // namespace ZephPack
