// Appends a patch container to a copy of an installer: the header at the next multiple of
// 4096 (zeros before it), the archives in the order given, then the directory, which ends the
// file; `totalSize` is the final size.
#pragma once

#include <string>
#include <vector>

namespace ZephPack {

struct EmbeddedPatch {
    std::string fromBuild;
    std::string toBuild;
    std::string archivePath;
};

// False with a message in `error` when a build text does not fit its field (1 to 31
// printable ASCII characters), a patch leads from a build to itself, a source build repeats, the
// installer already carries a container, an archive is not a patch archive, the result would reach
// 4 GiB, or a file cannot be read or written. A failed output is deleted.
[[nodiscard]] bool EmbedPatches(const std::string& installerPath, const std::string& outputPath,
                                const std::vector<EmbeddedPatch>& patches, std::string* error);

}  // namespace ZephPack
