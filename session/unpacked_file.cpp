#include "session/unpacked_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "kernel/file_utils.h"

namespace ZephPatch {

using namespace ZephUtil;

UnpackedFile::UnpackedFile(const std::string& path)
    : m_fd(OpenForWriting(path, O_WRONLY | O_CREAT | O_TRUNC)) {}

UnpackedFile::~UnpackedFile() {
    if (m_fd >= 0)
        close(m_fd);
}

bool UnpackedFile::Close() {
    if (m_fd < 0)
        return false;
    const bool closed = close(m_fd) == 0;
    m_fd = -1;
    return closed && !m_failed;
}

int UnpackedFile::SetSize(uint64_t) {
    return kBufNotAllowed;
}

int UnpackedFile::Seek(uint64_t position) {
    if (m_fd < 0)
        return kBufNotOpen;
    return position == m_written ? kBufOk : kBufNotAllowed;
}

int UnpackedFile::Write(const void* bytes, uint32_t count) {
    if (m_fd < 0)
        return kBufNotOpen;
    const auto* next = static_cast<const uint8_t*>(bytes);
    while (count > 0) {
        const ssize_t written = write(m_fd, next, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            m_failed = true;
            return kBufIoError;
        }
        next += written;
        count -= static_cast<uint32_t>(written);
        m_written += static_cast<uint64_t>(written);
    }
    return kBufOk;
}

int UnpackedFile::Read(void*, uint32_t) {
    return m_fd < 0 ? kBufNotOpen : kBufNotAllowed;
}

}  // namespace ZephPatch
