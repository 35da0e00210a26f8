#include "tools/orbpatch/windows_file.h"

namespace OrbPatch {

std::wstring ToWide(const std::string& utf8) {
    int length = static_cast<int>(utf8.size());
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
    return wide;
}

std::string FromWide(const std::wstring& wide) {
    int length = static_cast<int>(wide.size());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text == nullptr ? L"" : text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(error) : FromWide(message);
}

HANDLE OpenForReading(const std::string& path, uint64_t* size, bool* readOnly, std::string* why) {
    // Backup semantics open folders too, so that they are refused with the same words as on
    // Linux rather than with "access denied".
    HANDLE file = CreateFileW(ToWide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = LastErrorText();
        return file;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) {
        *why = LastErrorText();
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        *why = "not a regular file";
    } else {
        *size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
        *readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        return file;
    }
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

}  // namespace OrbPatch
