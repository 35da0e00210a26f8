#include "tools/orbpatch/byte_source.h"

#include <unistd.h>

#include <cstring>

namespace OrbPatch {

bool MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> into, std::string*) {
    if (!into.empty()) {  // an empty span may hold no pointer
        std::memcpy(into.data(), m_bytes.data() + offset, into.size());
    }
    return true;
}

FileSource::~FileSource() {
    Close();
}

void FileSource::Close() {
    Unmap();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

}  // namespace OrbPatch
