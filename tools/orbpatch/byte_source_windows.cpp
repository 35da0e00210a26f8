#include "tools/orbpatch/byte_source.h"

#include <fcntl.h>
#include <io.h>

#include "tools/orbpatch/windows_file.h"

namespace OrbPatch {
namespace {

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

}  // namespace

bool FileSource::Open(const std::string& path, std::string* why) {
    bool readOnly = false;
    HANDLE file = OpenForReading(path, &m_size, &readOnly, why);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    m_fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (m_fd < 0) {
        CloseHandle(file);
        *why = "out of file descriptors";
        return false;
    }
    m_mode = ModeFromReadOnly(readOnly);
    return true;
}

bool FileSource::ReadAt(uint64_t offset, std::span<uint8_t> into, std::string* why) {
    while (!into.empty()) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(into.size(), 1u << 30));
        DWORD n = 0;
        if (!ReadFile(HandleOf(m_fd), into.data(), chunk, &n, &at) || n == 0) {
            // A file that shrank under us reads short: as much a read error as a failed read.
            *why =
                n == 0 && GetLastError() == ERROR_HANDLE_EOF ? "file ended early" : LastErrorText();
            return false;
        }
        into = into.subspan(n);
        offset += n;
    }
    return true;
}

std::span<const uint8_t> FileSource::View(uint64_t offset, uint64_t length) {
    Unmap();
    if (length == 0) {
        return {};
    }
    // Views start on the allocation granularity; the span starts where it was asked to.
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    uint64_t start = offset - offset % system.dwAllocationGranularity;
    size_t size = static_cast<size_t>(offset - start + length);
    HANDLE mapping = CreateFileMappingW(HandleOf(m_fd), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
        return {};
    }
    void* map = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                              static_cast<DWORD>(start), size);
    CloseHandle(mapping);  // the view keeps the mapping alive
    if (map == nullptr) {
        return {};
    }
    m_map = map;
    m_mapSize = size;
    return {static_cast<const uint8_t*>(map) + (offset - start), static_cast<size_t>(length)};
}

void FileSource::Unmap() {
    if (m_map != nullptr) {
        UnmapViewOfFile(m_map);
        m_map = nullptr;
    }
}

}  // namespace OrbPatch
