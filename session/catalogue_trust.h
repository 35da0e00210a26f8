// What download mode trusts: the signing keys compiled in (CMake option
// ORVIK_PATCH_SIGNING_KEYS) and those of the product key's "PatchSigningKeys" value, and the
// sequence number of the last signed catalogue accepted ("PatchCatalogueSequence" beside it).
// With no key at all, catalogues and archives are taken unsigned, as servers publish them
// today.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "apply/catalogue_signature.h"

namespace ZephPatch {

inline constexpr char PATCH_SIGNING_KEYS_VALUE[] = "PatchSigningKeys";
inline constexpr char CATALOGUE_SEQUENCE_VALUE[] = "PatchCatalogueSequence";

// Public keys as the base64 lines of minisign public key files, separated by line ends or
// blanks; empty lines and "untrusted comment:" lines (a whole key file pasted) are skipped.
// False with the offending text in `error` for anything that is not a key.
[[nodiscard]] bool ParseTrustedKeys(std::string_view text, std::vector<MinisignPublicKey>* keys,
                                    std::string* error);

// The keys, the last sequence accepted and the time now. False with the reason in `error`
// when a key or the stored sequence cannot be read: a configured key that is misspelt must not
// turn checking off.
[[nodiscard]] bool LoadCatalogueTrust(CatalogueTrust* trust, std::string* error);

// Stores `sequence` as the last accepted (REG_SZ, decimal) unless a higher one is stored.
// False when it could not be written.
[[nodiscard]] bool RecordCatalogueSequence(uint64_t sequence);

}  // namespace ZephPatch
