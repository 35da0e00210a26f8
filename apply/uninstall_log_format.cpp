#include "apply/uninstall_log_format.h"

#include <limits>

#include "apply/crc32.h"

namespace ZephPatch {
namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void WriteU32(uint8_t* p, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    out.resize(out.size() + 4);
    WriteU32(out.data() + out.size() - 4, value);
}

// One block as found in the file: where its head starts, where its data starts in the
// record data, and how long that data is.
struct Block {
    size_t fileOffset;
    size_t dataOffset;
    size_t size;
};

// Reads every block up to the end of the file; false unless each head, size and CRC checks
// out and the blocks end exactly at the end of the file.
bool ReadBlocks(const std::vector<uint8_t>& log, std::vector<Block>* blocks,
                std::vector<uint8_t>* data) {
    size_t offset = kLogHeaderSize;
    while (offset < log.size()) {
        if (log.size() - offset < kLogBlockHeadSize)
            return false;
        const uint8_t* head = log.data() + offset;
        const uint32_t size = ReadU32(head);
        if (size > kLogBlockDataSize || ReadU32(head + 4) != ~size)
            return false;
        if (log.size() - offset - kLogBlockHeadSize < size)
            return false;
        const uint8_t* bytes = head + kLogBlockHeadSize;
        if (Crc32(bytes, size) != ReadU32(head + 8))
            return false;
        blocks->push_back({offset, data->size(), size});
        data->insert(data->end(), bytes, bytes + size);
        offset += kLogBlockHeadSize + size;
    }
    return true;
}

// Walks the records from the start; the offset of the last one, or npos when they do not
// frame the data exactly or the last one is not the end-install record.
size_t FindEndInstallRecord(const std::vector<uint8_t>& data) {
    size_t offset = 0;
    size_t last = std::string::npos;
    while (offset < data.size()) {
        if (data.size() - offset < kLogRecordHeadSize)
            return std::string::npos;
        const uint32_t dataSize = ReadU32(data.data() + offset + 6);
        if (data.size() - offset - kLogRecordHeadSize < dataSize)
            return std::string::npos;
        last = offset;
        offset += kLogRecordHeadSize + dataSize;
    }
    if (last == std::string::npos)
        return last;
    const uint16_t type = static_cast<uint16_t>(data[last] | data[last + 1] << 8);
    return type == kLogEndInstallType ? last : std::string::npos;
}

void AppendBlocks(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
    for (size_t done = 0; done < length; done += kLogBlockDataSize) {
        const auto size = static_cast<uint32_t>(std::min(kLogBlockDataSize, length - done));
        AppendU32(out, size);
        AppendU32(out, ~size);
        AppendU32(out, Crc32(data + done, size));
        out.insert(out.end(), data + done, data + done + size);
    }
}

}  // namespace

std::vector<uint8_t> DeleteFileRecord(const std::string& path) {
    std::vector<uint8_t> pathData;
    const size_t length = path.size();
    if (length <= 252) {
        pathData.push_back(static_cast<uint8_t>(length));
    } else if (length <= 0xFFFF) {
        pathData.push_back(0xFD);
        pathData.push_back(static_cast<uint8_t>(length));
        pathData.push_back(static_cast<uint8_t>(length >> 8));
    } else {
        pathData.push_back(0xFE);
        AppendU32(pathData, static_cast<uint32_t>(length));
    }
    pathData.insert(pathData.end(), path.begin(), path.end());
    pathData.push_back(0xFF);

    std::vector<uint8_t> record = {static_cast<uint8_t>(kLogDeleteFileType), 0, 0, 0, 0, 0};
    AppendU32(record, static_cast<uint32_t>(pathData.size()));
    record.insert(record.end(), pathData.begin(), pathData.end());
    return record;
}

LogExtendResult ExtendUninstallLog(const std::vector<uint8_t>& log,
                                   const std::vector<uint8_t>& records, uint32_t recordCount,
                                   std::vector<uint8_t>* out) {
    if (log.size() < kLogHeaderSize)
        return LogExtendResult::kNotRecognised;
    if (Crc32(log.data(), kLogHeaderCrcOffset) != ReadU32(log.data() + kLogHeaderCrcOffset)) {
        return LogExtendResult::kNotRecognised;
    }
    std::vector<Block> blocks;
    std::vector<uint8_t> data;
    if (!ReadBlocks(log, &blocks, &data))
        return LogExtendResult::kNotRecognised;
    const size_t endRecord = FindEndInstallRecord(data);
    if (endRecord == std::string::npos)
        return LogExtendResult::kNotRecognised;

    // The block the end-install record starts in, and everything after it, is rewritten.
    size_t first = 0;
    while (blocks[first].dataOffset + blocks[first].size <= endRecord)
        ++first;
    const Block& rewritten = blocks[first];

    std::vector<uint8_t> tail(data.begin() + rewritten.dataOffset, data.begin() + endRecord);
    tail.insert(tail.end(), records.begin(), records.end());
    tail.insert(tail.end(), data.begin() + endRecord, data.end());

    out->assign(log.begin(), log.begin() + rewritten.fileOffset);
    AppendBlocks(tail.data(), tail.size(), *out);
    if (out->size() > std::numeric_limits<uint32_t>::max())
        return LogExtendResult::kNotRecognised;

    uint8_t* header = out->data();
    WriteU32(header + kLogRecordCountOffset, ReadU32(header + kLogRecordCountOffset) + recordCount);
    WriteU32(header + kLogEndOffsetOffset, static_cast<uint32_t>(out->size()));
    WriteU32(header + kLogHeaderCrcOffset, Crc32(header, kLogHeaderCrcOffset));
    return LogExtendResult::kOk;
}

}  // namespace ZephPatch
