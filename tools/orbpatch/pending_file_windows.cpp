#include <fcntl.h>
#include <io.h>

#include <random>

#include "tools/orbpatch/pending_file.h"
#include "tools/orbpatch/windows_file.h"

namespace OrbPatch {
namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// The folder part of `path` with its final separator, "" for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    return path.substr(FolderOf(path).size());
}

const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kSuffixLength = 6;

// ".<name>.<six letters or digits>" beside `finalPath`.
std::string TemporaryName(const std::string& finalPath, std::mt19937& random) {
    std::string suffix(kSuffixLength, ' ');
    for (char& c : suffix) {
        c = kLetters[random() % (sizeof kLetters - 1)];
    }
    return FolderOf(finalPath) + "." + NameOf(finalPath) + "." + suffix;
}

bool IsTemporaryNameOf(const std::string& name, const std::string& finalName) {
    std::string prefix = "." + finalName + ".";
    if (name.size() != prefix.size() + kSuffixLength ||
        CompareStringOrdinal(ToWide(name.substr(0, prefix.size())).c_str(), -1,
                             ToWide(prefix).c_str(), -1, TRUE) != CSTR_EQUAL) {
        return false;
    }
    return name.find_first_not_of(kLetters, prefix.size()) == std::string::npos;
}

// Removes temporary files of `finalPath` that a run killed within the instant between Commit's
// undoing of the delete mark and its rename left behind. A live run's file is open without
// delete sharing, so this cannot remove it.
void RemoveLeftTemporaryFiles(const std::string& finalPath) {
    WIN32_FIND_DATAW found{};
    std::string pattern = FolderOf(finalPath) + "." + NameOf(finalPath) + ".*";
    HANDLE search = FindFirstFileW(ToWide(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::string name = FromWide(found.cFileName);
        if (IsTemporaryNameOf(name, NameOf(finalPath))) {
            DeleteFileW(ToWide(FolderOf(finalPath) + name).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Marks the open file to vanish when its last handle closes, however the process ends.
bool MarkForDeletion(HANDLE file, bool deleted) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

bool SetReadOnly(HANDLE file) {
    FILE_BASIC_INFO basic{};  // zero times stay as they are
    basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

// Renames `temp` over `final`. Windows refuses to replace a read-only file, which POSIX allows
// whatever the mode: such a file loses its read-only mark first.
bool ReplaceFinalFile(const std::string& temp, const std::string& final) {
    std::wstring from = ToWide(temp), to = ToWide(final);
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesW(to.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) !=
            FILE_ATTRIBUTE_READONLY) {
        SetLastError(error);
        return false;
    }
    return SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) &&
           MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

PendingFile::~PendingFile() {
    Discard();
}

// The file is written under a temporary name beside its final path, opened without delete
// sharing and marked for deletion, so that the system removes it when the process ends before
// Commit, killed or not.
bool PendingFile::Create(const std::string& finalPath, std::string* why) {
    if (NameOf(finalPath).empty()) {
        *why = "no file name";
        return false;
    }
    m_finalPath = finalPath;
    RemoveLeftTemporaryFiles(finalPath);
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = TemporaryName(finalPath, random);
        HANDLE file =
            CreateFileW(ToWide(temp).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                        FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            continue;
        }
        if (file == INVALID_HANDLE_VALUE) {
            *why = LastErrorText();
            return false;
        }
        m_tempPath = temp;
        m_fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
        if (m_fd < 0) {
            CloseHandle(file);
            DeleteFileW(ToWide(temp).c_str());
            m_tempPath.clear();
            *why = "out of file descriptors";
            return false;
        }
        if (!MarkForDeletion(file, true)) {
            *why = LastErrorText();
            Discard();
            return false;
        }
        return true;
    }
    *why = "no free temporary name";
    return false;
}

bool PendingFile::Write(std::span<const uint8_t> bytes, std::string* why) {
    while (!bytes.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        DWORD n = 0;
        if (!WriteFile(HandleOf(m_fd), bytes.data(), chunk, &n, nullptr)) {
            *why = LastErrorText();
            return false;
        }
        bytes = bytes.subspan(n);
    }
    return true;
}

bool PendingFile::Commit(FileMode mode, std::string* why) {
    HANDLE file = HandleOf(m_fd);
    bool ok = ((mode & 0222) != 0 || SetReadOnly(file)) && MarkForDeletion(file, false);
    DWORD error = GetLastError();
    int fd = m_fd;
    m_fd = -1;
    _close(fd);
    if (ok && !ReplaceFinalFile(m_tempPath, m_finalPath)) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        *why = ErrorText(error);
        Discard();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void PendingFile::Discard() {
    if (m_fd >= 0) {
        _close(m_fd);  // the file is still marked for deletion
        m_fd = -1;
    } else if (!m_tempPath.empty()) {
        SetFileAttributesW(ToWide(m_tempPath).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(ToWide(m_tempPath).c_str());
    }
    m_tempPath.clear();
}

void InstallSignalCleanup() {
    // Nothing to arm: a pending file is marked for deletion, which the system carries out
    // however the process ends.
}

FileMode DefaultFileMode() {
    return ModeFromReadOnly(false);
}

}  // namespace OrbPatch
