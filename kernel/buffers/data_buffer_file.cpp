// `ZephDataBufferFile`: the data buffer over a disk file.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "kernel/buffers/data_buffer.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());

const char* OpenModeOf(int mode) {
    switch (mode) {
        case kFileRead:
            return "rb";
        case kFileWrite:
            return "wb";
        case kFileAppend:
        case kFileReadWrite:
            return "r+b";
        default:
            return nullptr;
    }
}

}  // namespace

ZephDataBufferFile::ZephDataBufferFile(const std::string& path, int mode)
    : m_mode(mode), m_name(FsPath(path)) {
    const char* openMode = OpenModeOf(mode);
    if (!openMode) {
        Print("ZephDataBufferFile> unknown access mode %d", mode);
        return;
    }
    m_stream = OpenStream(m_name, openMode);
    if (!m_stream && mode == kFileAppend)
        m_stream = OpenStream(m_name, "wb");
    if (!m_stream || mode == kFileWrite)
        return;
    // The size is where the end lies now; writes keep it current from here on.
    if (fseeko(m_stream, 0, SEEK_END) == 0) {
        off_t end = ftello(m_stream);
        if (end > 0)
            m_size = static_cast<uint64_t>(end);
    }
    fseeko(m_stream, 0, SEEK_SET);
    m_lastWasRead = true;
}

ZephDataBufferFile::~ZephDataBufferFile() {
    if (m_stream)
        fclose(m_stream);
}

bool ZephDataBufferFile::Commit() {
    if (!m_stream)
        return false;
    return fflush(m_stream) == 0 && SyncFile(fileno(m_stream));
}

void ZephDataBufferFile::FlushBuffer() {
    if (m_stream)
        fflush(m_stream);
}

bool ZephDataBufferFile::TurnAround() {
    return fseeko(m_stream, static_cast<off_t>(m_position), SEEK_SET) == 0;
}

int ZephDataBufferFile::Write(const void* bytes, uint32_t count) {
    if (!m_stream)
        return kBufNotOpen;
    if (m_mode == kFileRead)
        return kBufNotAllowed;
    if (count == 0)
        return kBufOk;
    if (m_lastWasRead && m_mode == kFileReadWrite && !TurnAround())
        return kBufIoError;
    m_lastWasRead = false;
    size_t written = fwrite(bytes, 1, count, m_stream);
    m_position += written;
    m_size = std::max(m_size, m_position);
    return written == count ? kBufOk : kBufIoError;
}

int ZephDataBufferFile::Read(void* destination, uint32_t count) {
    if (!m_stream)
        return kBufNotOpen;
    if (m_mode == kFileWrite || m_mode == kFileAppend)
        return kBufNotAllowed;
    if (count == 0)
        return kBufOk;
    if (!m_lastWasRead && m_mode == kFileReadWrite && !TurnAround())
        return kBufIoError;
    m_lastWasRead = true;
    size_t got = fread(destination, 1, count, m_stream);
    m_position += got;
    return got == count ? kBufOk : kBufIoError;
}

int ZephDataBufferFile::Seek(uint64_t position) {
    if (!m_stream)
        return kBufNotOpen;
    if (position > kMaxOffset)
        return kBufIoError;
    if (fseeko(m_stream, static_cast<off_t>(position), SEEK_SET) != 0)
        return kBufIoError;
    m_position = position;
    return kBufOk;
}

int ZephDataBufferFile::SetSize(uint64_t size) {
    if (!m_stream)
        return kBufNotOpen;
    if (size > kMaxOffset)
        return kBufIoError;
    // Buffered bytes must reach the file first, or a later flush would lengthen it again.
    if (fflush(m_stream) != 0)
        return kBufIoError;
    if (ftruncate(fileno(m_stream), static_cast<off_t>(size)) != 0)
        return kBufIoError;
    uint64_t position = std::min(m_position, size);
    if (fseeko(m_stream, static_cast<off_t>(position), SEEK_SET) == 0)
        m_position = position;
    m_size = size;
    return kBufOk;
}

}  // namespace ZephUtil
