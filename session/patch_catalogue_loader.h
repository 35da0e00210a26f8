// `LoadCatalogue`: the catalogue of the first patch server that offers a usable one.
#pragma once

#include <string>
#include <vector>

#include "apply/patch_catalogue.h"
#include "transfer/transfer_result.h"

namespace ZephPatch {

// Tries the servers in order, skipping empty entries: fetches base + "patches.txt" afresh into
// memory and parses it against the base. The first one that gives a record wins and becomes
// the catalogue's server base; true. A fetch that fails reports "Unable to download patch
// file: " + its URL at level 1 and the next server is tried; a file without a valid record
// moves on silently. When no server gives one: "Unable to connect to any patch servers." at
// level 3, an empty server base, false. A cancel through the context's reporter ends the
// search at once: false, and no line.
// With `trust`, a catalogue counts only with base + "patches.txt.minisig" passing
// CheckCatalogueSignature; one that does not is refused with "The catalogue " + URL + " was
// refused: " + why + "." at level 3 and the next server is tried. The accepted catalogue
// keeps the stamp of its signature.
// A body over 1 MiB (a catalogue is kilobytes) fails like a broken download.
[[nodiscard]] bool LoadCatalogue(const std::vector<std::string>& serverBaseUrls,
                                 PatchCatalogue* catalogue,
                                 const ZephUtil::TransferContext& context,
                                 const CatalogueTrust* trust = nullptr);

}  // namespace ZephPatch
