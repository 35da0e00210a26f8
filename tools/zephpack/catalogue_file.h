// Writing and re-reading the server catalogue ("patches.txt") on the publisher's side: one
// record per patch, with the size and SHA-256 of every archive that is at hand locally.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "apply/sha256.h"

namespace ZephPack {

struct CatalogueEntry {
    std::string fromBuild;
    std::string toBuild;
    std::string url;  // absolute, or relative to the server's base (also the patch-exe-url)
    std::optional<uint64_t> size;
    std::optional<ZephPatch::Sha256Digest> sha256;
};

// Why the entry cannot be written so that installers read it back as given (an empty value, a
// line break, a build holding a path separator, a patch from a build to itself), or empty.
[[nodiscard]] std::string EntryProblem(const CatalogueEntry& entry);

// The catalogue text, records in the order given, CR LF line ends.
[[nodiscard]] std::string CatalogueText(const std::vector<CatalogueEntry>& entries);

// The records of an existing catalogue (those with the four required keys); false with the
// reason when the file cannot be read.
[[nodiscard]] bool ReadCatalogueFile(const std::string& path, std::vector<CatalogueEntry>* entries,
                                     std::string* error);

// Where the archive of a relative URL lies beside the catalogue (backslashes read as '/');
// empty for an absolute URL.
[[nodiscard]] std::string LocalArchivePath(const std::string& catalogueFolder,
                                           const std::string& url);

// Fills in the size and SHA-256 of the archive at `localPath`. False with the reason when it
// is missing or unreadable.
[[nodiscard]] bool MeasureArchive(const std::string& localPath, CatalogueEntry* entry,
                                  std::string* error);

}  // namespace ZephPack
