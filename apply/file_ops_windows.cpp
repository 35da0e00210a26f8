#include <windows.h>

#include "apply/file_ops.h"
#include "kernel/system/windows_support.h"

namespace ZephPatch {
namespace {

// Flushes the volume `device` ("\\.\C:"); false when it cannot be opened or flushed.
bool FlushVolume(const std::wstring& device) {
    const ZephUtil::UniqueHandle volume(CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                    OPEN_EXISTING, 0, nullptr));
    return volume.IsOpen() && FlushFileBuffers(volume.Get()) != 0;
}

}  // namespace

// The whole volume is flushed through its device ("\\.\C:"), which takes the rights the
// elevated installer has.
bool SyncFileSystem(const std::string& folder) {
    wchar_t volume[MAX_PATH] = {};
    const std::wstring wide = ZephUtil::WidePath(folder.empty() ? "." : folder);
    if (!GetVolumePathNameW(wide.c_str(), volume, MAX_PATH))
        return false;
    std::wstring device = volume;
    while (!device.empty() && (device.back() == L'\\' || device.back() == L'/'))
        device.pop_back();
    return FlushVolume(L"\\\\.\\" + device);
}

}  // namespace ZephPatch
