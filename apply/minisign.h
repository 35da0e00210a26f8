// Ed25519 public keys and detached signatures in minisign's text formats, so that publishers
// can sign with minisign itself and check what our tools sign with it. Every cryptographic
// step is libsodium's.
//
// Public key file: "untrusted comment: <text>" and the base64 of "Ed", the 8-byte key id and
// the 32-byte key. Signature file: "untrusted comment: <text>", the base64 of the algorithm
// ("ED": the signature covers the BLAKE2b-512 digest of the file, "Ed": the file itself), the
// key id and the 64-byte signature; "trusted comment: <text>" and the base64 of the global
// signature, which covers the signature followed by the trusted comment's text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ZephPatch {

using MinisignKeyId = std::array<uint8_t, 8>;
using Ed25519Signature = std::array<uint8_t, 64>;
using Blake2b512Digest = std::array<uint8_t, 64>;

struct MinisignPublicKey {
    MinisignKeyId keyId{};
    std::array<uint8_t, 32> key{};
};

struct MinisignSignature {
    bool prehashed = true;
    MinisignKeyId keyId{};
    Ed25519Signature signature{};
    std::string untrustedComment;
    std::string trustedComment;
    Ed25519Signature globalSignature{};
};

// The key id as minisign prints it: the 8 bytes as a little-endian number, 16 upper-case hex
// digits.
[[nodiscard]] std::string KeyIdText(const MinisignKeyId& keyId);

// The base64 line of a public key (what `minisign -P` takes). False for anything else.
[[nodiscard]] bool ParsePublicKey(std::string_view base64, MinisignPublicKey* key);
[[nodiscard]] std::string PublicKeyBase64(const MinisignPublicKey& key);
// A public key file: its comment line and its base64 line (LF or CR LF).
[[nodiscard]] bool ParsePublicKeyFile(std::string_view text, MinisignPublicKey* key);
[[nodiscard]] std::string PublicKeyFileText(const MinisignPublicKey& key);

// False when the text is not a signature file (four lines as above, LF or CR LF).
[[nodiscard]] bool ParseSignatureFile(std::string_view text, MinisignSignature* signature);
[[nodiscard]] std::string SignatureFileText(const MinisignSignature& signature);

// What a signature of `message` covers: the message itself, or its BLAKE2b-512 digest.
[[nodiscard]] std::string SignedBytes(std::string_view message, bool prehashed);

// Whether `key` made the signature over `signedBytes` and the global signature over the
// trusted comment, and the key ids agree.
[[nodiscard]] bool SignatureVerifies(const MinisignSignature& signature,
                                     const MinisignPublicKey& key,
                                     std::span<const uint8_t> signedBytes);
[[nodiscard]] bool SignatureVerifiesMessage(const MinisignSignature& signature,
                                            const MinisignPublicKey& key, std::string_view message);

// BLAKE2b-512 fed in pieces, for the digest of a file too large to hold.
// REQUIRES: external synchronization.
class Blake2b512 {
public:
    Blake2b512();
    ~Blake2b512();
    Blake2b512(const Blake2b512&) = delete;
    Blake2b512& operator=(const Blake2b512&) = delete;
    void Update(const void* bytes, size_t count);
    [[nodiscard]] Blake2b512Digest Final();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// SignedBytes of a file: its digest is read in blocks; a legacy signature needs the whole file
// in memory. False when it cannot be read.
[[nodiscard]] bool SignedBytesOfFile(const std::string& path, bool prehashed, std::string* bytes);

// libsodium's own start-up, safe to call from any thread any number of times. Aborts when the
// library cannot start: nothing could be verified then.
void StartSodium();

// Base64 with padding (minisign's variant); false for anything else, also for stray blanks.
[[nodiscard]] bool DecodeBase64(std::string_view text, std::string* bytes);
[[nodiscard]] std::string EncodeBase64(std::span<const uint8_t> bytes);

}  // namespace ZephPatch
