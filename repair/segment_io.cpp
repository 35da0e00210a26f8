#include "repair/segment_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"
#include "kernel/log/system_log.h"
#include "repair/segment_checksum.h"
#include "repair/segment_name.h"

namespace ZephPatch {
namespace {

// What checksumming reads at a time: small enough to stay in the processor's cache.
constexpr uint32_t kChecksumPiece = 256 * 1024;

// An open file and where a segment of it lies. Plain descriptor calls: a scan opens one per
// segment of a fresh installation, so every call per file counts. Reads go on from where the
// segment starts, one after the other.
class SegmentReader {
public:
    explicit SegmentReader(const std::string& segmentPath) : m_path(segmentPath) {
        m_fd.Reset(ZephUtil::OpenFile(ZephUtil::FsPath(SegmentBase(segmentPath)), O_RDONLY));
    }
    SegmentReader(const SegmentReader&) = delete;
    SegmentReader& operator=(const SegmentReader&) = delete;

    bool Open() {
        const off_t size = m_fd.IsOpen() ? lseek(m_fd.Get(), 0, SEEK_END) : -1;
        if (size < 0) {
            ZephUtil::Print("ReadFileSegment> unabled to open file: %s", m_path.c_str());
            return false;
        }
        const int64_t index = SegmentIndex(m_path);
        m_offset = static_cast<uint64_t>(index) << kSegmentShift;
        const uint64_t end = std::min(m_offset + kSegmentSize, static_cast<uint64_t>(size));
        if (index < 0 || end < m_offset) {
            ZephUtil::Print("ReadFileSegment> segment past end of file for: %s", m_path.c_str());
            return false;
        }
        m_length = static_cast<uint32_t>(end - m_offset);
        if (lseek(m_fd.Get(), static_cast<off_t>(m_offset), SEEK_SET) < 0) {
            ZephUtil::Print("ReadFileSegment> unabled to read from file: %s", m_path.c_str());
            return false;
        }
        return true;
    }

    uint32_t Length() const { return m_length; }

    // The next `count` bytes of the segment.
    bool Read(uint8_t* destination, uint32_t count) {
        while (count > 0) {
            const auto got = read(m_fd.Get(), destination, count);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ZephUtil::Print("ReadFileSegment> unabled to read from file: %s", m_path.c_str());
                return false;
            }
            destination += got;
            count -= static_cast<uint32_t>(got);
        }
        return true;
    }

private:
    const std::string& m_path;
    ZephUtil::UniqueFd m_fd;
    uint64_t m_offset = 0;  // where the segment starts
    uint32_t m_length = 0;
};

}  // namespace

bool ReadFileSegment(const std::string& segmentPath, SegmentBytes* out) {
    *out = SegmentBytes{};
    SegmentReader reader(segmentPath);
    if (!reader.Open())
        return false;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[std::max(reader.Length(), 1u)]);
    if (!data || !reader.Read(data.get(), reader.Length()))
        return false;
    out->data = std::move(data);
    out->length = reader.Length();
    return true;
}

uint32_t ChecksumSegment(const std::string& segmentPath) {
    ZephUtil::Print(" Checksum %s ..", segmentPath.c_str());
    SegmentReader reader(segmentPath);
    if (!reader.Open())
        return 0;
    thread_local std::unique_ptr<uint8_t[]> piece(new uint8_t[kChecksumPiece]);
    uint32_t crc = 0;
    for (uint32_t done = 0; done < reader.Length();) {
        const uint32_t count = std::min(kChecksumPiece, reader.Length() - done);
        if (!reader.Read(piece.get(), count))
            return 0;
        crc = UpdateSegmentChecksum(crc, piece.get(), count);
        done += count;
    }
    return FinishSegmentChecksum(crc);
}

}  // namespace ZephPatch
