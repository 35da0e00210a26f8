// The catalogue a patch server publishes as "patches.txt": for each build it can patch, the
// build the patch leads to and where the patch archive is.
//
// The file is 8-bit text. Lines end at CR, LF, CR LF or LF CR. Records are runs of non-empty
// lines separated by empty ones; inside a record every line is trimmed of spaces (only spaces),
// lines left empty are skipped, and the others are "key: value", split at the first colon. Keys
// compare without case; a value wrapped in double quotes loses them. A line without a colon
// spoils its record. The last value of a key counts; unknown keys are ignored.
//
// A record may also give "patch-data-size" (decimal bytes) and "patch-data-sha256" (64 hex
// digits) of its archive; older installers ignore them, a signed catalogue vouches for them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apply/catalogue_signature.h"
#include "apply/sha256.h"

namespace ZephPatch {

struct PatchCatalogueEntry {
    std::string targetVersion;  // the build the patch produces
    std::string patchExeUrl;    // as written
    std::string patchDataUrl;   // the archive, made absolute
    // Unset when the record lacks them or they are malformed.
    std::optional<uint64_t> patchDataSize;
    std::optional<Sha256Digest> patchDataSha256;
};

// One record's keys (lower case) and values, as the grammar gives them.
using CatalogueRecord = std::map<std::string, std::string>;

// Whether a data URL starts with ftp://, http:// or https:// (any case); any other is
// relative to the server.
[[nodiscard]] bool IsAbsoluteUrl(std::string_view url);

// The records of a file in their order, less those spoiled by a line without a colon.
[[nodiscard]] std::vector<CatalogueRecord> ParseCatalogueRecords(std::string_view text);

// REQUIRES: external synchronization.
class PatchCatalogue {
public:
    // Stores the valid records of one file, a record replacing an earlier one for the same
    // source build. A record needs non-empty "source-version", "target-version",
    // "patch-exe-url" and "patch-data-url", and builds that cannot leave a folder when they
    // become part of a file name (no '/' or '\\'). A data URL that does not start with ftp://,
    // http:// or https:// is relative: joined to `serverBaseUrl` with its backslashes as '/',
    // or the record is dropped when there is no base. True when a record was stored.
    [[nodiscard]] bool ParseCatalogue(std::string_view text, const std::string& serverBaseUrl);

    // The entry for exactly this source build (case matters), or null.
    [[nodiscard]] const PatchCatalogueEntry* FindPatch(const std::string& sourceBuild) const;

    // The base of the server the catalogue came from; empty when none gave one.
    [[nodiscard]] const std::string& ServerBaseUrl() const { return m_serverBaseUrl; }
    void SetServerBaseUrl(const std::string& url) { m_serverBaseUrl = url; }
    [[nodiscard]] const std::map<std::string, PatchCatalogueEntry>& Entries() const {
        return m_entries;
    }

    // The stamp of the signature the catalogue was accepted with; unset for an unsigned one.
    [[nodiscard]] const std::optional<CatalogueStamp>& Stamp() const { return m_stamp; }
    void SetStamp(const std::optional<CatalogueStamp>& stamp) { m_stamp = stamp; }

private:
    std::string m_serverBaseUrl;
    std::optional<CatalogueStamp> m_stamp;
    std::map<std::string, PatchCatalogueEntry> m_entries;
};

}  // namespace ZephPatch
