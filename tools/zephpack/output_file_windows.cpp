#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "kernel/system/wide_text.h"
#include "tools/zephpack/output_file_system.h"

namespace ZephPack {
namespace {

// The errno a POSIX call would have left for the Windows error `error`.
int ErrnoFor(DWORD error) {
    switch (error) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

bool Move(const std::string& from, const std::string& to, DWORD flags) {
    if (MoveFileExW(ZephUtil::ToWide(from).c_str(), ZephUtil::ToWide(to).c_str(),
                    flags | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = ErrnoFor(GetLastError());
    return false;
}

}  // namespace

// Windows keeps one permission bit: a mode without write permission makes a read-only file.
int CreateNewFile(const std::string& path, unsigned mode) {
    const int permission = (mode & 0222) != 0 ? _S_IREAD | _S_IWRITE : _S_IREAD;
    return _wopen(ZephUtil::ToWide(path).c_str(),
                  _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, permission);
}

bool RenameOver(const std::string& from, const std::string& to) {
    return Move(from, to, MOVEFILE_REPLACE_EXISTING);
}

// A rename without replacing refuses a name that is taken, as a link does; the caller's
// removal of `from` then finds nothing to remove.
bool AddNewName(const std::string& from, const std::string& to) {
    return Move(from, to, 0);
}

unsigned long CurrentProcessId() {
    return GetCurrentProcessId();
}

}  // namespace ZephPack
