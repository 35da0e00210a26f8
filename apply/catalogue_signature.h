// Whether a downloaded "patches.txt" can be trusted: signed by a trusted key in its detached
// "patches.txt.minisig", not expired, and not older than the last catalogue accepted. The
// signature's trusted comment carries the catalogue's stamp,
//     timestamp:<unix seconds> expires:<unix seconds> sequence:<decimal>
// as fields separated by blanks, in any order; other fields are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "apply/minisign.h"

namespace ZephPatch {

inline constexpr char kCatalogueSignatureSuffix[] = ".minisig";

struct CatalogueStamp {
    uint64_t timestamp = 0;
    uint64_t expires = 0;
    uint64_t sequence = 0;
};

// False with the reason in `problem` when a field is missing, repeated or not a decimal
// number that fits 64 bits.
[[nodiscard]] bool ParseCatalogueStamp(std::string_view comment, CatalogueStamp* stamp,
                                       std::string* problem);
[[nodiscard]] std::string CatalogueStampText(const CatalogueStamp& stamp);
// A stamp's time as people read it: "2026-01-31 12:00 UTC".
[[nodiscard]] std::string UtcDateText(uint64_t unixSeconds);

// What the installer trusts, and what it accepted before.
struct CatalogueTrust {
    std::vector<MinisignPublicKey> keys;
    uint64_t lastSequence = 0;  // of the last catalogue accepted; 0 before the first
    uint64_t now = 0;           // unix seconds
};

// Empty when `signatureFile` is a signature of `catalogue` by one of the trusted keys whose
// stamp has not expired (expires > now) and whose sequence is not below the last one
// accepted; `stamp` then holds the stamp. Otherwise why the catalogue is refused, as a
// clause ("it is signed by key ..., which is not trusted").
[[nodiscard]] std::string CheckCatalogueSignature(std::string_view catalogue,
                                                  std::string_view signatureFile,
                                                  const CatalogueTrust& trust,
                                                  CatalogueStamp* stamp);

}  // namespace ZephPatch
