// The system calls under the output files, one file per platform. Failures leave the reason in
// errno, as the POSIX calls do, so that messages read the same everywhere.
#pragma once

#include <string>

namespace ZephPack {

// Creates `path`, which must not exist yet, for writing with permissions `mode` (less the
// umask): a descriptor, or -1.
int CreateNewFile(const std::string& path, unsigned mode);

// Renames `from` over `to`, replacing a file there.
bool RenameOver(const std::string& from, const std::string& to);

// Gives the file `from` the new name `to` as well, never taking the place of a file that
// appeared there meanwhile (the caller removes `from` afterwards).
bool AddNewName(const std::string& from, const std::string& to);

// This process's id, to tell temporary names of concurrent runs apart.
unsigned long CurrentProcessId();

}  // namespace ZephPack
