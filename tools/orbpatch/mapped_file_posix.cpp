#include "tools/orbpatch/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace OrbPatch {

MappedFile::~MappedFile() {
    Close();
}

void MappedFile::Close() {
    if (m_data != nullptr) {
        munmap(const_cast<uint8_t*>(m_data), m_size);
        m_data = nullptr;
        m_size = 0;
    }
}

bool MappedFile::Open(const std::string& path, std::string* why) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    if (!ok) {
        *why = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        *why = "not a regular file";
        ok = false;
    } else if (st.st_size > 0) {
        // Both callers read every byte (hash, then decode), so fault the pages in at once.
        void* data = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                          MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (data == MAP_FAILED) {
            *why = std::strerror(errno);
            ok = false;
        } else {
            m_data = static_cast<const uint8_t*>(data);
            m_size = static_cast<size_t>(st.st_size);
        }
    }
    m_mode = st.st_mode & 07777;
    close(fd);
    return ok;
}

}  // namespace OrbPatch
