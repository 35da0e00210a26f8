// `MoveFileIfFree`: moves a file unless another process holds it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"

namespace ZephUtil {
namespace {

// Never replaces an existing target: a move onto a file that is there fails, as callers expect
// when they pick backup names.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without the flag: the check and the rename are not atomic there.
    if (access(to.c_str(), F_OK) == 0 || errno != ENOENT)
        return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool MoveFileIfFree(const std::string& from, const std::string& to) {
    std::string source = FsPath(from);
    UniqueFd file(open(source.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen())
        return false;
    // The lock is held until the file has moved, so that a holder cannot slip in between.
    if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    return RenameNoReplace(source, FsPath(to));
}

}  // namespace ZephUtil
