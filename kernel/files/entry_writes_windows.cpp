// Entry writes on Windows: a reparse point (symbolic link, junction) at the name itself is
// refused where Linux refuses a symbolic link.
#include <cerrno>

#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {

int OpenForWriting(const std::string& path, int flags, unsigned mode) {
    if (IsLinkAt(path)) {
        errno = ELOOP;
        return -1;
    }
    return OpenFile(path, flags, mode);
}

bool EntryExists(const std::string& path) {
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsLinkAt(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace ZephUtil
