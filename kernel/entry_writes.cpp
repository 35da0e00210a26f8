// Writes at names that come from a patch, a list file or a server: a symbolic link at the
// name's own place is the entry itself, never a way to somewhere else.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "kernel/file_utils.h"

namespace ZephUtil {

int OpenForWriting(const std::string& path, int flags, unsigned mode) {
    return open(FsPath(path).c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                static_cast<mode_t>(mode));
}

bool EntryExists(const std::string& path) {
    struct stat status;
    return lstat(FsPath(path).c_str(), &status) == 0;
}

bool LinkLeadsOutside(const std::string& path, const std::string& root) {
    namespace fs = std::filesystem;
    struct stat status;
    if (lstat(FsPath(path).c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
        return false;
    std::error_code error;
    const fs::path target = fs::canonical(FsPath(path), error);
    if (error)
        return true;
    auto below = [&](const fs::path& folder) {
        const fs::path real = fs::canonical(folder, error);
        return !error &&
               std::mismatch(real.begin(), real.end(), target.begin(), target.end()).first ==
                   real.end();
    };
    return !below(FsPath(root)) && !below(fs::path(FsPath(path)).parent_path());
}

}  // namespace ZephUtil
