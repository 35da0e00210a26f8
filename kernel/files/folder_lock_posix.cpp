#include "kernel/files/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "kernel/files/file_utils.h"

namespace ZephUtil {
namespace {

bool SameFile(int fd, const std::string& path) {
    struct stat held, named;
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

FolderLock::~FolderLock() {
    Unlock();
}

FolderLockResult FolderLock::Lock(const std::string& folder) {
    const std::string path = FsPath(folder);
    // A second open file of the same folder would find our own lock in its way.
    if (m_fd.IsOpen() && SameFile(m_fd.Get(), path))
        return FolderLockResult::kLocked;
    Unlock();
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return FolderLockResult::kUnavailable;
    int result;
    do {
        result = flock(fd.Get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        return busy ? FolderLockResult::kBusy : FolderLockResult::kUnavailable;
    }
    m_fd = std::move(fd);
    return FolderLockResult::kLocked;
}

void FolderLock::Unlock() {
    m_fd.Reset();
}

}  // namespace ZephUtil
