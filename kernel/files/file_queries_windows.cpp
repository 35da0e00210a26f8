// Questions about one file and changes to its attributes, through the file's attribute data.
#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {
namespace {

// 100 ns steps between 1601-01-01 (the file times' start) and 1970-01-01.
constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ULL;

bool AttributesOf(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    return GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, data);
}

bool ChangeReadOnly(const std::string& path, bool readOnly) {
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (((attributes & FILE_ATTRIBUTE_READONLY) != 0) == readOnly)
        return true;
    const DWORD changed = readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                   : attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return SetFileAttributesW(wide.c_str(), changed);
}

}  // namespace

bool IsDirectory(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return AttributesOf(path, &data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return AttributesOf(path, &data);
}

bool SetReadOnly(const std::string& path) {
    return ChangeReadOnly(path, true);
}

bool ClearReadOnly(const std::string& path) {
    return ChangeReadOnly(path, false);
}

int GetFileSizeOf(const std::string& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!AttributesOf(path, &data)) {
        *size = 0;
        return 2;
    }
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return 0;
}

int GetFileModifiedTime(const std::string& path, uint64_t* seconds) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!AttributesOf(path, &data)) {
        *seconds = 0;
        return 2;
    }
    const uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                           data.ftLastWriteTime.dwLowDateTime;
    *seconds = ticks > kUnixEpochInFileTime ? (ticks - kUnixEpochInFileTime) / 10000000ULL : 0;
    return 0;
}

// A read-only file is deleted too, as unlink does on Linux: the attribute guards against
// users, not against the installer that owns the file. A link to a folder goes as a link.
bool DeleteFileAt(const std::string& path) {
    if (path.empty())
        return false;
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    const DWORD folderLink = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & folderLink) == folderLink)
        return RemoveDirectoryW(wide.c_str()) || FailWithLastError(false);
    if (DeleteFileW(wide.c_str()))
        return true;
    if (GetLastError() != ERROR_ACCESS_DENIED || !ClearReadOnly(path))
        return FailWithLastError(false);
    return DeleteFileW(wide.c_str()) || FailWithLastError(false);
}

}  // namespace ZephUtil
