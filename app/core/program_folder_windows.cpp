#include <windows.h>

#include <vector>

#include "app/core/program_folder.h"
#include "kernel/system/wide_text.h"

namespace ZephPatch {

std::string ExecutablePath(const std::string& argv0) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), buffer.size());
        if (length == 0)
            break;
        if (length < buffer.size())
            return ZephUtil::FromWide({buffer.data(), length});
        buffer.resize(buffer.size() * 2);  // cut short: a longer path
    }
    return IsAbsolutePath(argv0) ? argv0 : CurrentFolder() + "\\" + argv0;
}

std::string CurrentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(size, L'\0');
    const DWORD length = size ? GetCurrentDirectoryW(size, folder.data()) : 0;
    if (length == 0 || length >= size)
        return {};
    folder.resize(length);
    return ZephUtil::FromWide(folder);
}

bool ChangeCurrentFolder(const std::string& folder) {
    return SetCurrentDirectoryW(ZephUtil::ToWide(folder).c_str());
}

bool IsAbsolutePath(const std::string& path) {
    auto separator = [](char c) { return c == '/' || c == '\\'; };
    const bool drive = path.size() >= 3 && path[1] == ':' && separator(path[2]);
    const bool network = path.size() >= 2 && separator(path[0]) && separator(path[1]);
    return drive || network;
}

}  // namespace ZephPatch
