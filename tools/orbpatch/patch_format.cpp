#include "tools/orbpatch/patch_format.h"

#include <zlib.h>

#include <algorithm>

#include "tools/orbpatch/little_endian.h"

namespace OrbPatch {
namespace {

constexpr size_t CRC_SIZE = 4;

uint32_t Crc(const uint8_t* bytes, size_t size) {
    return static_cast<uint32_t>(crc32(0L, bytes, static_cast<uInt>(size)));
}

bool CrcMatches(std::span<const uint8_t> bytes) {
    size_t covered = bytes.size() - CRC_SIZE;
    return GetLittleEndian<uint32_t>(bytes.data() + covered) == Crc(bytes.data(), covered);
}

template <typename T>
void PutFixed(T value, std::vector<uint8_t>* out) {
    for (size_t i = 0; i < sizeof(T); ++i) {
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void PutVarint(uint64_t value, std::vector<uint8_t>* out) {
    while (value >= 0x80) {
        out->push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out->push_back(static_cast<uint8_t>(value));
}

bool GetVarint(std::span<const uint8_t>* in, uint64_t* value) {
    *value = 0;
    for (unsigned shift = 0; shift < 64 && !in->empty(); shift += 7) {
        uint8_t byte = in->front();
        *in = in->subspan(1);
        *value |= uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

// Where the next copy would read had NEW kept OLD's layout.
uint64_t AfterSegment(const Segment& segment, uint64_t expected) {
    return segment.copy ? segment.oldOffset + segment.length : expected + segment.length;
}

void EncodeRanges(const std::vector<OldRange>& ranges, std::vector<uint8_t>* out) {
    uint64_t end = 0;
    for (const OldRange& range : ranges) {
        PutVarint(range.offset - end, out);
        PutVarint(range.length, out);
        end = range.offset + range.length;
    }
}

bool DecodeRanges(std::span<const uint8_t>* in, std::vector<OldRange>* ranges) {
    uint64_t end = 0;
    for (OldRange& range : *ranges) {
        uint64_t delta = 0;
        uint64_t length = 0;
        if (!GetVarint(in, &delta) || !GetVarint(in, &length) || length > UINT32_MAX) {
            return false;
        }
        range.offset = end + delta;
        range.length = static_cast<uint32_t>(length);
        end = range.offset + range.length;
    }
    return true;
}

void EncodeSegments(const std::vector<Segment>& segments, uint64_t newOffset,
                    std::vector<uint8_t>* out) {
    uint64_t expected = newOffset;
    for (const Segment& segment : segments) {
        PutVarint(segment.length * 2 + (segment.copy ? 1 : 0), out);
        if (segment.copy) {
            uint64_t delta = segment.oldOffset - expected;  // two's complement, then zigzag
            PutVarint((delta << 1) ^ (0 - (delta >> 63)), out);
        }
        expected = AfterSegment(segment, expected);
    }
}

bool DecodeSegments(std::span<const uint8_t> in, uint64_t newOffset,
                    std::vector<Segment>* segments) {
    segments->clear();
    uint64_t expected = newOffset;
    while (!in.empty()) {
        Segment segment;
        uint64_t head = 0;
        if (!GetVarint(&in, &head)) {
            return false;
        }
        segment.length = head >> 1;
        segment.copy = (head & 1) != 0;
        uint64_t zigzag = 0;
        if (segment.copy && !GetVarint(&in, &zigzag)) {
            return false;
        }
        segment.oldOffset = segment.copy ? expected + ((zigzag >> 1) ^ (0 - (zigzag & 1))) : 0;
        expected = AfterSegment(segment, expected);
        segments->push_back(segment);
    }
    return true;
}

// The segments make exactly the block's bytes, the coded ones exactly what the frame holds.
bool SegmentsAddUp(const BlockRecord& record) {
    uint64_t total = 0;
    uint64_t coded = 0;
    for (const Segment& segment : record.segments) {
        if (segment.length == 0 || segment.length > record.newBytes - total) {
            return false;
        }
        total += segment.length;
        coded += segment.copy ? 0 : segment.length;
    }
    return total == record.newBytes && coded == record.codedBytes;
}

}  // namespace

uint64_t BlockRecord::ReferenceBytes() const {
    uint64_t total = 0;
    for (const OldRange& range : ranges) {
        total += range.length;
    }
    return total;
}

uint32_t FormatVersion(std::span<const uint8_t> bytes) {
    if (bytes.size() < VERSION_PREFIX_SIZE ||
        !std::equal(PATCH_MAGIC.begin(), PATCH_MAGIC.end(), bytes.begin())) {
        return 0;
    }
    return GetLittleEndian<uint32_t>(bytes.data() + 8);
}

std::vector<uint8_t> EncodeFileHeader(const FileHeader& header) {
    std::vector<uint8_t> out(PATCH_MAGIC.begin(), PATCH_MAGIC.end());
    PutFixed<uint32_t>(PATCH_FORMAT_VERSION, &out);
    PutVarint(header.blockCount, &out);
    PutVarint(header.oldSize, &out);
    PutVarint(header.newSize, &out);
    PutFixed<uint32_t>(Crc(out.data(), out.size()), &out);
    return out;
}

Result DecodeFileHeader(std::span<const uint8_t> bytes, FileHeader* header) {
    uint32_t version = FormatVersion(bytes);
    if (bytes.size() < VERSION_PREFIX_SIZE) {
        return Damaged("too short to be a difference file");
    }
    if (version == 0) {
        return Damaged("not a difference file (wrong magic)");
    }
    // The version comes before the checksum: another version may lay out the rest otherwise.
    if (version != PATCH_FORMAT_VERSION) {
        return Damaged("unsupported format version " + std::to_string(version));
    }
    std::span<const uint8_t> rest = bytes.subspan(VERSION_PREFIX_SIZE);
    uint64_t blocks = 0;
    bool read = GetVarint(&rest, &blocks) && GetVarint(&rest, &header->oldSize) &&
                GetVarint(&rest, &header->newSize) && rest.size() >= CRC_SIZE;
    header->size = bytes.size() - rest.size() + CRC_SIZE;
    if (!read || blocks > UINT32_MAX || !CrcMatches(bytes.first(header->size))) {
        return Damaged("damaged header (checksum mismatch)");
    }
    header->blockCount = static_cast<uint32_t>(blocks);
    return Result::Success();
}

std::vector<uint8_t> EncodeBlockRecord(const BlockRecord& record, uint64_t newOffset) {
    std::vector<uint8_t> out(RECORD_PREFIX_SIZE);
    for (uint64_t value : {uint64_t{record.index}, uint64_t{record.codec}, record.newBytes,
                           uint64_t{record.codedBytes}, uint64_t{record.frameBytes},
                           uint64_t{record.ranges.size()}}) {
        PutVarint(value, &out);
    }
    PutFixed<uint32_t>(record.referenceHash, &out);
    PutFixed<uint32_t>(record.copyHash, &out);
    PutFixed<uint64_t>(record.newHash, &out);
    EncodeRanges(record.ranges, &out);
    EncodeSegments(record.segments, newOffset, &out);
    PutLittleEndian<uint32_t>(out.data(), static_cast<uint32_t>(out.size() - RECORD_PREFIX_SIZE));
    PutFixed<uint32_t>(Crc(out.data(), out.size()), &out);
    return out;
}

Result BlockRecordSize(std::span<const uint8_t> prefix, size_t* size) {
    uint32_t body = GetLittleEndian<uint32_t>(prefix.data());
    if (body > MAX_RECORD_BODY_BYTES) {
        return Damaged("block record beyond the format's limits");
    }
    *size = RECORD_PREFIX_SIZE + body + CRC_SIZE;
    return Result::Success();
}

Result DecodeBlockRecord(std::span<const uint8_t> bytes, uint64_t newOffset, BlockRecord* record) {
    size_t size = 0;
    if (bytes.size() < RECORD_PREFIX_SIZE || !BlockRecordSize(bytes, &size).ok() ||
        size != bytes.size() || !CrcMatches(bytes)) {
        return Damaged("damaged block record (checksum mismatch)");
    }
    std::span<const uint8_t> body =
        bytes.subspan(RECORD_PREFIX_SIZE, size - RECORD_PREFIX_SIZE - CRC_SIZE);
    uint64_t fields[6] = {};
    bool ok = true;
    for (uint64_t& field : fields) {
        ok = ok && GetVarint(&body, &field);
    }
    ok = ok && fields[0] <= UINT32_MAX && fields[1] <= UINT32_MAX && fields[3] <= UINT32_MAX &&
         fields[4] <= UINT32_MAX && fields[5] <= MAX_REFERENCE_RANGES && body.size() >= 16;
    std::string block = "block " + std::to_string(fields[0]);
    if (!ok) {
        return Damaged(block + " has inconsistent fields");
    }
    record->index = static_cast<uint32_t>(fields[0]);
    record->codec = static_cast<uint32_t>(fields[1]);
    record->newBytes = fields[2];
    record->codedBytes = static_cast<uint32_t>(fields[3]);
    record->frameBytes = static_cast<uint32_t>(fields[4]);
    record->ranges.resize(fields[5]);
    record->referenceHash = GetLittleEndian<uint32_t>(body.data());
    record->copyHash = GetLittleEndian<uint32_t>(body.data() + 4);
    record->newHash = GetLittleEndian<uint64_t>(body.data() + 8);
    body = body.subspan(16);
    if (!DecodeRanges(&body, &record->ranges) ||
        !DecodeSegments(body, newOffset, &record->segments) || !SegmentsAddUp(*record)) {
        return Damaged(block + " has inconsistent lists");
    }
    // Limits a decoder relies on for its memory, whatever the CRC says.
    if (record->codec > CODEC_LZMA2 || record->codedBytes > MAX_CODED_BYTES ||
        record->ReferenceBytes() > MAX_REFERENCE_BYTES ||
        record->frameBytes > MaxFrameBytes(record->codedBytes)) {
        return Damaged(block + " exceeds the format's limits");
    }
    return Result::Success();
}

}  // namespace OrbPatch
