// A lock on a folder that the kernel holds for this process: nothing of ours is written to
// mark it, and it goes when the process ends, however it ends.
#pragma once

#include <string>

#include "kernel/files/unique_fd.h"

namespace ZephUtil {

enum class FolderLockResult {
    kLocked,       // this process holds the folder's lock now
    kBusy,         // another process (or another FolderLock) holds it
    kUnavailable,  // the folder cannot be opened
};

// An exclusive lock on at most one folder at a time (flock on Linux; on Windows LockFileEx on a
// lock file in the temporary folder named after the folder's identity). Programs this process
// starts do not inherit it. REQUIRES: external synchronization.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock on `folder` without waiting. Already holding that folder (by any of its
    // names) counts as taking it; a lock on another folder is released first.
    FolderLockResult Lock(const std::string& folder);
    void Unlock();

private:
    UniqueFd m_fd;
};

}  // namespace ZephUtil
