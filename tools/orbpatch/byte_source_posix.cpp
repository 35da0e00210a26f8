#include "tools/orbpatch/byte_source.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace OrbPatch {

bool FileSource::Open(const std::string& path, std::string* why) {
    m_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(m_fd, &st) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "not a regular file";
        return false;
    }
    m_size = static_cast<uint64_t>(st.st_size);
    m_mode = st.st_mode & 07777;
    return true;
}

bool FileSource::ReadAt(uint64_t offset, std::span<uint8_t> into, std::string* why) {
    while (!into.empty()) {
        ssize_t n = pread(m_fd, into.data(), into.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // A file that shrank under us reads short: as much a read error as EIO.
            *why = n == 0 ? "file ended early" : std::strerror(errno);
            return false;
        }
        into = into.subspan(static_cast<size_t>(n));
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace OrbPatch

namespace OrbPatch {

std::span<const uint8_t> FileSource::View(uint64_t offset, uint64_t length) {
    Unmap();
    if (length == 0) {
        return {};
    }
    // Mappings start on a page; the view starts where it was asked to.
    uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    uint64_t start = offset - offset % page;
    size_t size = static_cast<size_t>(offset - start + length);
    // Read at once: the caller reads every byte. Like any mapping, it requires that the file
    // does not shrink meanwhile (a lost page raises SIGBUS).
    void* map =
        mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, m_fd, static_cast<off_t>(start));
    if (map == MAP_FAILED) {
        return {};
    }
    m_map = map;
    m_mapSize = size;
    return {static_cast<const uint8_t*>(map) + (offset - start), static_cast<size_t>(length)};
}

void FileSource::Unmap() {
    if (m_map != nullptr) {
        munmap(m_map, m_mapSize);
        m_map = nullptr;
    }
}

}  // namespace OrbPatch
