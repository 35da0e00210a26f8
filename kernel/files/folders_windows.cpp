// The folder calls on Windows: FindFirstFileW, CreateDirectoryW, RemoveDirectoryW.
#include "kernel/files/file_utils.h"
#include "kernel/files/folder_calls.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil::detail {

const char* const kCreateFolderCall = "CreateDirectoryW";
const int kFileExistsError = ERROR_FILE_EXISTS;

bool ReadFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((WidePath(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        // A junction or a link to a folder is a file to the walk, as a link is on Linux.
        const DWORD attributes = found.dwFileAttributes;
        const bool isFolder =
            (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        entries->push_back({FromWide(name), isFolder});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

bool CreateFolder(const std::string& path, int* error) {
    if (CreateDirectoryW(WidePath(path).c_str(), nullptr))
        return true;
    *error = static_cast<int>(GetLastError());
    errno = ErrnoFromWindowsError(*error);
    return false;
}

// A link to a folder stands as a folder entry that RemoveDirectoryW takes away without
// following it.
bool RemoveFolder(const std::string& path) {
    return RemoveDirectoryW(WidePath(path).c_str());
}

void SetSystemError(int error) {
    SetLastError(static_cast<DWORD>(error));
    errno = ErrnoFromWindowsError(static_cast<DWORD>(error));
}

}  // namespace ZephUtil::detail
