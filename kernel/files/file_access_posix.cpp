// The system's file calls for UTF-8 paths, on Linux where the 8-bit calls take UTF-8 as it is.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>

#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"

namespace ZephUtil {

int OpenFile(const std::string& path, int flags, unsigned mode) {
    return open(FsPath(path).c_str(), flags | O_CLOEXEC | O_NOCTTY, static_cast<mode_t>(mode));
}

FILE* OpenStream(const std::string& path, const char* mode) {
    return fopen(FsPath(path).c_str(), mode);
}

bool SyncFile(int fd) {
    return fsync(fd) == 0;
}

bool SyncFolder(const std::string& folder) {
    const UniqueFd fd(open(FsPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.IsOpen() && fsync(fd.Get()) == 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return rename(FsPath(from).c_str(), FsPath(to).c_str()) == 0;
}

bool FreeDiskSpace(const std::string& path, uint64_t* bytes) {
    struct statvfs volume;
    if (statvfs(FsPath(path).c_str(), &volume) != 0)
        return false;
    *bytes = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
    return true;
}

}  // namespace ZephUtil
