// Secret keys in minisign's format, and what is done with them: key pairs and signatures.
//
// The file is "untrusted comment: <text>" and the base64 of: "Ed", the KDF ("Sc" for a key
// encrypted with a password through scrypt, two zero bytes for a plain one), "B2", the 32-byte
// salt, the scrypt limits (8 bytes each, little-endian), then the key id (8 bytes), the
// Ed25519 secret key (64 bytes) and the BLAKE2b-256 checksum of "Ed", key id and secret key
// (32 bytes), these three XORed with the scrypt stream when encrypted.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "apply/minisign.h"

namespace ZephPack {

// Zeroed when destroyed.
struct SecretKey {
    SecretKey() = default;
    ~SecretKey();
    SecretKey(const SecretKey& other) = default;
    SecretKey& operator=(const SecretKey& other) = default;

    ZephPatch::MinisignKeyId keyId{};
    std::array<uint8_t, 64> secret{};  // libsodium's form: the seed, then the public key
};

// Asked for the password of an encrypted key; false when none could be read.
using PasswordSource = std::function<bool(std::string* password)>;

// A new random key pair.
[[nodiscard]] SecretKey GenerateKeyPair();
[[nodiscard]] ZephPatch::MinisignPublicKey PublicKeyOf(const SecretKey& key);

// Reads a secret key file, plain or encrypted. False with the reason in `error`: not a
// minisign secret key, no password, a wrong password or a damaged key.
[[nodiscard]] bool ReadSecretKeyFile(const std::string& path, const PasswordSource& password,
                                     SecretKey* key, std::string* error);
// The file of a plain (unencrypted) key, as `minisign -G -W` writes one.
[[nodiscard]] std::string PlainSecretKeyFileText(const SecretKey& key);

// A signature over `signedBytes` (the file, or its BLAKE2b-512 digest when `prehashed`) with
// the trusted comment signed along.
[[nodiscard]] ZephPatch::MinisignSignature SignBytes(const SecretKey& key,
                                                     std::span<const uint8_t> signedBytes,
                                                     bool prehashed,
                                                     const std::string& trustedComment);

}  // namespace ZephPack
