// The Windows side of the tool's file access: paths are UTF-8 inside the tool and UTF-16 at each
// Windows call, system errors become text. The tool stands alone, so it carries these itself.
#pragma once

#ifndef _WIN32
#error "windows_file.h is for the Windows side of the tool"
#endif

#include <windows.h>

#include <cstdint>
#include <string>

namespace OrbPatch {

std::wstring ToWide(const std::string& utf8);
std::string FromWide(const std::wstring& wide);

// The system's text for `error` (a GetLastError() value), without the closing full stop.
std::string ErrorText(DWORD error);
inline std::string LastErrorText() {
    return ErrorText(GetLastError());
}

// Opens the regular file at `path` for reading, shared so that others may read, write, rename
// or replace it meanwhile, and stores its size and whether it is read-only. INVALID_HANDLE_VALUE,
// with the reason in `why`, when it cannot be opened or is not a regular file.
HANDLE OpenForReading(const std::string& path, uint64_t* size, bool* readOnly, std::string* why);

}  // namespace OrbPatch
