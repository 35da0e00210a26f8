#include "repair/segment_io.h"

#include <algorithm>
#include <new>

#include "kernel/data_buffer.h"
#include "kernel/system_log.h"
#include "repair/segment_checksum.h"
#include "repair/segment_name.h"

namespace ZephPatch {
namespace {

// What checksumming reads at a time: small enough to stay in the processor's cache.
constexpr uint32_t kChecksumPiece = 256 * 1024;

// An open file positioned at the start of a segment, and the segment's length.
class SegmentReader {
public:
    explicit SegmentReader(const std::string& segmentPath)
        : m_path(segmentPath), m_file(SegmentBase(segmentPath), ZephUtil::kFileRead) {}

    bool Open() {
        if (!m_file.IsOpen()) {
            ZephUtil::Print("ReadFileSegment> unabled to open file: %s", m_path.c_str());
            return false;
        }
        const int64_t index = SegmentIndex(m_path);
        const uint64_t offset = static_cast<uint64_t>(index) << kSegmentShift;
        const uint64_t end = std::min(offset + kSegmentSize, m_file.GetSize());
        if (index < 0 || end < offset) {
            ZephUtil::Print("ReadFileSegment> segment past end of file for: %s", m_path.c_str());
            return false;
        }
        if (m_file.Seek(offset) != ZephUtil::kBufOk) {
            ZephUtil::Print("ReadFileSegment> unabled to seek file: %s", m_path.c_str());
            return false;
        }
        m_length = static_cast<uint32_t>(end - offset);
        return true;
    }

    uint32_t Length() const { return m_length; }

    bool Read(uint8_t* destination, uint32_t count) {
        if (m_file.Read(destination, count) == ZephUtil::kBufOk)
            return true;
        ZephUtil::Print("ReadFileSegment> unabled to read from file: %s", m_path.c_str());
        return false;
    }

private:
    const std::string& m_path;
    ZephUtil::ZephDataBufferFile m_file;
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
