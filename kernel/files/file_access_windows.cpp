// The system's file calls for UTF-8 paths, on Windows through the "W" functions.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>

#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {

int OpenFile(const std::string& path, int flags, unsigned mode) {
    // The C runtime knows only the owner's write bit of a mode: without it a new file is
    // read-only.
    const int permission = (mode & 0200) ? (_S_IREAD | _S_IWRITE) : _S_IREAD;
    return _wopen(WidePath(path).c_str(), flags | _O_BINARY | _O_NOINHERIT, permission);
}

FILE* OpenStream(const std::string& path, const char* mode) {
    return _wfopen(WidePath(path).c_str(), ToWide(mode).c_str());
}

bool SyncFile(int fd) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle);
}

bool SyncFolder(const std::string&) {
    return true;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
    return MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           FailWithLastError(false);
}

bool FreeDiskSpace(const std::string& path, uint64_t* bytes) {
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(WidePath(path).c_str(), &available, nullptr, nullptr))
        return false;
    *bytes = available.QuadPart;
    return true;
}

}  // namespace ZephUtil
