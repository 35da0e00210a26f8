#include <windows.h>

#include "apply/file_ops.h"
#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"

namespace ZephPatch {
namespace {

HANDLE OpenForFlush(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// Flushing takes a handle open for writing, which a read-only file refuses: its attribute is
// lifted for the flush and put back.
bool FlushFile(const std::wstring& path) {
    ZephUtil::UniqueHandle file(OpenForFlush(path));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool readOnly =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    if (!file.IsOpen() && readOnly &&
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        file = ZephUtil::UniqueHandle(OpenForFlush(path));
        (void)SetFileAttributesW(path.c_str(), attributes);  // the open handle is what counts
    }
    return file.IsOpen() && FlushFileBuffers(file.Get());
}

}  // namespace

bool SyncWrittenFiles(const std::string&, const std::vector<std::string>& written) {
    for (const std::string& path : written) {
        // An added file that an undo deleted again has nothing left to flush.
        if (!ZephUtil::FileExists(path))
            continue;
        if (!FlushFile(ZephUtil::WidePath(path)))
            return false;
    }
    return true;
}

}  // namespace ZephPatch
