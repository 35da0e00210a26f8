// On Windows a file's permissions that travel with it are its read-only attribute; programs
// need no execute bit.
#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {

bool CopyPermissions(const std::string& from, const std::string& to) {
    const DWORD source = GetFileAttributesW(WidePath(from).c_str());
    if (source == INVALID_FILE_ATTRIBUTES)
        return false;
    return (source & FILE_ATTRIBUTE_READONLY) ? SetReadOnly(to) : ClearReadOnly(to);
}

void ApplyNewFileMode(const std::string&, std::string_view) {}

}  // namespace ZephUtil
