// Writes at names that come from a patch, a list file or a server: a symbolic link at the
// name's own place is the entry itself, never a way to somewhere else.
#include <fcntl.h>
#include <sys/stat.h>

#include "kernel/files/file_utils.h"

namespace ZephUtil {

int OpenForWriting(const std::string& path, int flags, unsigned mode) {
    return open(FsPath(path).c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                static_cast<mode_t>(mode));
}

bool EntryExists(const std::string& path) {
    struct stat status;
    return lstat(FsPath(path).c_str(), &status) == 0;
}

}  // namespace ZephUtil
