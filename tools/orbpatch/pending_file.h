#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace OrbPatch {

// An output file written under a temporary name in the folder of its final path and renamed
// over that path only by Commit, so that a failed or interrupted run never leaves a partial file
// under the final name. Until then the destructor, or SIGINT/SIGTERM/SIGHUP once
// InstallSignalCleanup has run, removes the temporary file.
// REQUIRES: at most one PendingFile per process exists at a time (the signal handler knows one).
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file beside `finalPath`. False, with the reason in `why`, when the
    // folder does not exist or cannot be written.
    bool Create(const std::string& finalPath, std::string* why);

    // Appends `bytes`. False, with the reason in `why`, on a write error (disk full included).
    bool Write(std::span<const uint8_t> bytes, std::string* why);

    // Gives the file `size` bytes of reserved disk space and maps them writable into `*data`
    // (null for size 0). False, with the reason in `why`, when the space cannot be reserved or
    // mapped; reserving first means a full disk is an error here, not a SIGBUS later.
    bool Map(size_t size, uint8_t** data, std::string* why);

    // Sets the permission bits `mode` and renames the file to its final path.
    bool Commit(mode_t mode, std::string* why);

private:
    void Discard();

    std::string m_finalPath;
    std::string m_tempPath;
    int m_fd = -1;
    uint8_t* m_map = nullptr;
    size_t m_mapSize = 0;
};

// Lets SIGINT, SIGTERM and SIGHUP remove the pending temporary file before the process ends.
void InstallSignalCleanup();

// Permission bits a newly created file gets from the process's umask (0666 less the umask).
mode_t DefaultFileMode();

}  // namespace OrbPatch
