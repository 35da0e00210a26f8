#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "apply/file_ops.h"
#include "kernel/system/wide_text.h"

namespace ZephPatch {
namespace {

// Flushes the file, folder or volume `path` names; false when it cannot be opened or flushed.
bool FlushOpened(const std::wstring& path) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return flushed;
}

}  // namespace

int OpenForReading(const std::string& path) {
    return _wopen(ZephUtil::ToWide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool SyncFile(int fd) {
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != 0;
}

bool SyncDirectory(const std::string& folder) {
    return FlushOpened(ZephUtil::ToWide(folder.empty() ? "." : folder));
}

// The whole volume is flushed through its device ("\\.\C:"), which takes the rights the
// elevated installer has.
bool SyncFileSystem(const std::string& folder) {
    wchar_t volume[MAX_PATH] = {};
    const std::wstring wide = ZephUtil::ToWide(folder.empty() ? "." : folder);
    if (!GetVolumePathNameW(wide.c_str(), volume, MAX_PATH))
        return false;
    std::wstring device = volume;
    while (!device.empty() && (device.back() == L'\\' || device.back() == L'/'))
        device.pop_back();
    return FlushOpened(L"\\\\.\\" + device);
}

}  // namespace ZephPatch
