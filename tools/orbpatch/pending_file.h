#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tools/orbpatch/file_mode.h"

namespace OrbPatch {

// An output file that gets its final path only at Commit, so that a failed or interrupted run
// never leaves a partial file under that name. It is written without any name (O_TMPFILE) in
// the folder of its final path, so that even a kill or a power cut leaves nothing behind;
// where the file system cannot do that, under the temporary name ".<name>.XXXXXX" beside it,
// which the destructor, or SIGINT/SIGTERM/SIGHUP/SIGPIPE once InstallSignalCleanup has run,
// removes. Commit takes a free final name without ever replacing a file that appeared there
// meanwhile; an existing final file is replaced through such a temporary name.
// On Windows it is written under such a temporary name, opened without delete sharing and
// marked for deletion until Commit, so that the system removes it however the process ends;
// Commit then renames it over the final path. A kill in the instant between the two leaves the
// temporary name, which the next Create for the same final path removes.
// REQUIRES: at most one PendingFile per process exists at a time (the signal handler knows one).
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file beside `finalPath`. False, with the reason in `why`, when the
    // folder does not exist or cannot be written.
    [[nodiscard]] bool Create(const std::string& finalPath, std::string* why);

    // Appends `bytes`. False, with the reason in `why`, on a write error (disk full included).
    [[nodiscard]] bool Write(std::span<const uint8_t> bytes, std::string* why);

    // Sets the permission bits `mode` and gives the file its final path.
    [[nodiscard]] bool Commit(FileMode mode, std::string* why);

private:
    [[nodiscard]] bool LinkUnderTemporaryName();
    void Discard();

    std::string m_finalPath;
    std::string m_tempPath;  // empty while the file has no name
    int m_fd = -1;
};

// Lets SIGINT, SIGTERM, SIGHUP and SIGPIPE remove a pending temporary file before the process
// ends. (Ending with a killed installer is the installer's to ask for when it starts the tool.)
void InstallSignalCleanup();

// Permission bits a newly created file gets from the process's umask (0666 less the umask).
[[nodiscard]] FileMode DefaultFileMode();

}  // namespace OrbPatch
