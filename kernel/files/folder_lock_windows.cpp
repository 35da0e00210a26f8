// A folder cannot carry a byte-range lock on Windows. The lock is LockFileEx on a lock file in
// the temporary folder named after the folder's identity (volume serial number and file
// index): every name of the folder finds the same lock, and nothing is written into the
// folder itself. The system releases the lock when the process ends, however it ends.
#include <io.h>

#include <cstdio>
#include <utility>

#include "kernel/files/folder_lock.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {
namespace {

// The creation time too: a file system may give a new folder the index of a deleted one (Wine
// gives the inode number), and this process may still hold the deleted one's lock.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    DWORD createdHigh = 0;
    DWORD createdLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

bool IdentityOf(HANDLE handle, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
                 info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime};
    return true;
}

// The lock file's path for `folder`; empty when the folder cannot be opened.
std::wstring LockFilePath(const std::string& folder) {
    const UniqueHandle handle(CreateFileW(WidePath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                          nullptr));
    FileIdentity identity;
    if (!handle.IsOpen() || !IdentityOf(handle.Get(), &identity))
        return {};
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return {};
    wchar_t name[80];
    swprintf(name, 80, L"orvik-folder-%08lx-%08lx%08lx-%08lx%08lx.lock", identity.volume,
             identity.indexHigh, identity.indexLow, identity.createdHigh, identity.createdLow);
    return std::wstring(temp, length) + name;
}

HANDLE OpenLockFile(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool SameFile(int fd, const std::wstring& path) {
    const UniqueHandle named(OpenLockFile(path));
    FileIdentity held, other;
    return named.IsOpen() && IdentityOf(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &held) &&
           IdentityOf(named.Get(), &other) && held == other;
}

}  // namespace

FolderLock::~FolderLock() {
    Unlock();
}

FolderLockResult FolderLock::Lock(const std::string& folder) {
    const std::wstring path = LockFilePath(folder);
    if (path.empty()) {
        Unlock();
        return FolderLockResult::kUnavailable;
    }
    // A second handle of the same lock file would find our own lock in its way.
    if (m_fd.IsOpen() && SameFile(m_fd.Get(), path))
        return FolderLockResult::kLocked;
    Unlock();
    UniqueHandle file(OpenLockFile(path));
    if (!file.IsOpen())
        return FolderLockResult::kUnavailable;
    OVERLAPPED start = {};
    if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                    &start)) {
        const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
        return busy ? FolderLockResult::kBusy : FolderLockResult::kUnavailable;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), 0);
    if (fd < 0)
        return FolderLockResult::kUnavailable;
    file.Release();
    m_fd.Reset(fd);
    return FolderLockResult::kLocked;
}

void FolderLock::Unlock() {
    m_fd.Reset();
}

}  // namespace ZephUtil
