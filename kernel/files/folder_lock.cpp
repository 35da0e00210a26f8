#include "kernel/files/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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
    if (m_fd >= 0 && SameFile(m_fd, path))
        return FolderLockResult::kLocked;
    Unlock();
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return FolderLockResult::kUnavailable;
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        close(fd);
        return busy ? FolderLockResult::kBusy : FolderLockResult::kUnavailable;
    }
    m_fd = fd;
    return FolderLockResult::kLocked;
}

void FolderLock::Unlock() {
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

}  // namespace ZephUtil
