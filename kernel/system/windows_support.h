// What every Windows side of a kernel service needs: paths as the "W" functions take them and
// the system's error codes as the errno values that the Linux side reports.
#pragma once

#ifndef _WIN32
#error "windows_support.h is for the Windows side of a service"
#endif

#include <windows.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "kernel/system/wide_text.h"

namespace ZephUtil {

// A UTF-8 path for a "W" function, separators as '\\' (command lines and a few shell calls
// do not take '/').
inline std::wstring WidePath(std::string_view utf8Path) {
    std::wstring wide = ToWide(utf8Path);
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    return wide;
}

// The errno value the Linux side would report for a Windows error code.
inline int ErrnoFromWindowsError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        default:
            return EIO;
    }
}

// Sets errno from GetLastError() and returns `result`, for the failure paths.
template <typename T>
T FailWithLastError(T result) {
    errno = ErrnoFromWindowsError(GetLastError());
    return result;
}

// Owns one Windows HANDLE (INVALID_HANDLE_VALUE and null both own nothing).
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsOpen() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle;
    }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (IsOpen())
            CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

}  // namespace ZephUtil
