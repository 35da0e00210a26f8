// Entry writes on Linux: O_NOFOLLOW and lstat see a symbolic link at the name itself.
#include <fcntl.h>
#include <sys/stat.h>

#include "kernel/files/file_utils.h"

namespace ZephUtil {

int OpenForWriting(const std::string& path, int flags, unsigned mode) {
    return OpenFile(path, flags | O_NOFOLLOW, mode);
}

bool EntryExists(const std::string& path) {
    struct stat status;
    return lstat(FsPath(path).c_str(), &status) == 0;
}

bool IsLinkAt(const std::string& path) {
    struct stat status;
    return lstat(FsPath(path).c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

}  // namespace ZephUtil
