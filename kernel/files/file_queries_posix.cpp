// Questions about one file and changes to its attributes: existence, kind, size, time,
// the read-only state, deletion.
#include <sys/stat.h>
#include <unistd.h>

#include "kernel/files/file_utils.h"

namespace ZephUtil {
namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

bool StatOf(const std::string& path, struct stat* status) {
    return stat(FsPath(path).c_str(), status) == 0;
}

}  // namespace

bool IsDirectory(const std::string& path) {
    struct stat status;
    return StatOf(path, &status) && S_ISDIR(status.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat status;
    return StatOf(path, &status);
}

bool SetReadOnly(const std::string& path) {
    struct stat status;
    if (!StatOf(path, &status))
        return false;
    if ((status.st_mode & kWriteBits) == 0)
        return true;
    return chmod(FsPath(path).c_str(), status.st_mode & ~kWriteBits & 07777) == 0;
}

bool ClearReadOnly(const std::string& path) {
    struct stat status;
    if (!StatOf(path, &status))
        return false;
    if (status.st_mode & S_IWUSR)
        return true;
    return chmod(FsPath(path).c_str(), (status.st_mode | S_IWUSR) & 07777) == 0;
}

int GetFileSizeOf(const std::string& path, uint64_t* size) {
    struct stat status;
    if (!StatOf(path, &status)) {
        *size = 0;
        return 2;
    }
    *size = static_cast<uint64_t>(status.st_size);
    return 0;
}

int GetFileModifiedTime(const std::string& path, uint64_t* seconds) {
    struct stat status;
    if (!StatOf(path, &status)) {
        *seconds = 0;
        return 2;
    }
    *seconds = static_cast<uint64_t>(status.st_mtime);
    return 0;
}

bool DeleteFileAt(const std::string& path) {
    if (path.empty())
        return false;
    return unlink(FsPath(path).c_str()) == 0;
}

}  // namespace ZephUtil
