// Writes a patch archive from a folder: directories before their contents, entries in byte
// order of their names, so the same folder always gives the same archive.
#pragma once

#include <cstdint>
#include <string>

namespace ZephPack {

// False with a message in `error` when the folder cannot be read, holds something other than
// files and folders, holds a name the archive cannot carry, or the archive cannot be written.
// A failed archive is deleted.
[[nodiscard]] bool WritePatchArchive(const std::string& patchFolder, const std::string& archivePath,
                                     uint32_t version, std::string* error);

}  // namespace ZephPack
