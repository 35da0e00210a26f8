// Signing files as publishers do: a detached, prehashed minisign signature beside the file,
// and the stamp a catalogue's signature carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "apply/catalogue_signature.h"
#include "tools/zephpack/secret_key.h"

namespace ZephPack {

inline constexpr uint64_t kDefaultExpiryDays = 30;

// Reads the secret key file; an encrypted key asks for its password on the terminal (without
// echo), or reads it as one line of standard input when that is not a terminal.
[[nodiscard]] bool LoadSecretKey(const std::string& path, SecretKey* key, std::string* error);

// Writes `signaturePath`: a prehashed signature of `file` with `trustedComment`. False with
// the reason in `error`.
[[nodiscard]] bool SignFile(const std::string& file, const SecretKey& key,
                            const std::string& trustedComment, const std::string& signaturePath,
                            std::string* error);

// The stamp of a catalogue signed now, expiring `expiryDays` later. Its sequence is
// `sequence` when given, else one more than that of the signature already at
// `signaturePath`, else 1.
[[nodiscard]] ZephPatch::CatalogueStamp NextStamp(const std::string& signaturePath,
                                                  std::optional<uint64_t> sequence,
                                                  uint64_t expiryDays);

}  // namespace ZephPack
