// Builds uninstall logs in the setup program's layout and takes them apart again, for tests.
// Written from the layout, independently of the code under test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ZephTest {

[[nodiscard]] inline uint32_t TestCrc32(const uint8_t* data, size_t length) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

[[nodiscard]] inline uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

inline void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    std::memcpy(bytes.data() + offset, &value, 4);
}

struct LogRecord {
    uint16_t type;
    uint32_t extra;
    std::vector<uint8_t> data;
    bool operator==(const LogRecord&) const = default;
};

[[nodiscard]] inline std::vector<uint8_t> EncodeRecords(const std::vector<LogRecord>& records) {
    std::vector<uint8_t> out;
    for (const LogRecord& r : records) {
        const size_t at = out.size();
        out.resize(at + 10);
        out[at] = static_cast<uint8_t>(r.type);
        out[at + 1] = static_cast<uint8_t>(r.type >> 8);
        PutU32(out, at + 2, r.extra);
        PutU32(out, at + 6, static_cast<uint32_t>(r.data.size()));
        out.insert(out.end(), r.data.begin(), r.data.end());
    }
    return out;
}

// The end-install record: a 16-byte time stamp as an 8-bit string (28 bytes in all) or in
// the current 0xFE form (32 bytes).
[[nodiscard]] inline LogRecord EndInstallRecord(bool eightBit) {
    std::vector<uint8_t> data;
    if (eightBit) {
        data.push_back(16);
    } else {
        data = {0xFE, 0xF0, 0xFF, 0xFF, 0xFF};
    }
    for (int i = 0; i < 16; ++i)
        data.push_back(static_cast<uint8_t>(0x20 + i));
    data.push_back(0xFF);
    return {0x11, 0, data};
}

// A record of the kinds the setup program writes, `size` data bytes long.
[[nodiscard]] inline LogRecord FillerRecord(size_t size, uint8_t seed) {
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(seed + i * 7);
    return {0x81, seed, data};
}

// A whole log: header with the given record count, the record data cut into blocks of the
// given sizes (the rest, if any, in 4096-byte blocks and a short last one).
[[nodiscard]] inline std::vector<uint8_t> BuildLog(const std::vector<LogRecord>& records,
                                                   std::vector<size_t> blockSizes = {}) {
    std::vector<uint8_t> log(448, 0);
    const char id[] = "Inno Setup Uninstall Log (b)";
    std::memcpy(log.data(), id, sizeof id - 1);
    PutU32(log, 320, 1048);
    PutU32(log, 324, static_cast<uint32_t>(records.size()));
    const std::vector<uint8_t> data = EncodeRecords(records);
    size_t done = 0;
    size_t next = 0;
    while (done < data.size()) {
        const size_t size = std::min<size_t>(next < blockSizes.size() ? blockSizes[next++] : 4096,
                                             data.size() - done);
        const size_t at = log.size();
        log.resize(at + 12);
        PutU32(log, at, static_cast<uint32_t>(size));
        PutU32(log, at + 4, ~static_cast<uint32_t>(size));
        PutU32(log, at + 8, TestCrc32(data.data() + done, size));
        log.insert(log.end(), data.begin() + done, data.begin() + done + size);
        done += size;
    }
    PutU32(log, 328, static_cast<uint32_t>(log.size()));
    PutU32(log, 444, TestCrc32(log.data(), 444));
    return log;
}

struct ParsedLog {
    std::vector<uint32_t> blockSizes;
    std::vector<LogRecord> records;
};

// Checks everything the uninstaller checks (every block's complement and CRC, the header CRC,
// the end offset, the record count, the records framing the data) and returns the parts.
[[nodiscard]] inline ParsedLog ParseLogChecked(const std::vector<uint8_t>& log) {
    ParsedLog parsed;
    EXPECT_GE(log.size(), 448u);
    if (log.size() < 448)
        return parsed;
    EXPECT_EQ(GetU32(log, 444), TestCrc32(log.data(), 444)) << "header CRC";
    EXPECT_EQ(GetU32(log, 328), log.size()) << "end offset";
    std::vector<uint8_t> data;
    size_t at = 448;
    while (at + 12 <= log.size()) {
        const uint32_t size = GetU32(log, at);
        EXPECT_EQ(GetU32(log, at + 4), ~size) << "NotSize of block at " << at;
        EXPECT_LE(size, 4096u);
        EXPECT_LE(at + 12 + size, log.size());
        if (at + 12 + size > log.size())
            return parsed;
        EXPECT_EQ(GetU32(log, at + 8), TestCrc32(log.data() + at + 12, size)) << "block CRC";
        data.insert(data.end(), log.begin() + at + 12, log.begin() + at + 12 + size);
        parsed.blockSizes.push_back(size);
        at += 12 + size;
    }
    EXPECT_EQ(at, log.size()) << "blocks end at the end of the file";
    size_t p = 0;
    while (p + 10 <= data.size()) {
        LogRecord r;
        r.type = static_cast<uint16_t>(data[p] | data[p + 1] << 8);
        r.extra = GetU32(data, p + 2);
        const uint32_t size = GetU32(data, p + 6);
        if (p + 10 + size > data.size())
            break;
        r.data.assign(data.begin() + p + 10, data.begin() + p + 10 + size);
        parsed.records.push_back(std::move(r));
        p += 10 + size;
    }
    EXPECT_EQ(p, data.size()) << "records frame the data";
    EXPECT_EQ(GetU32(log, 324), parsed.records.size()) << "record count";
    return parsed;
}

// A test path ('/' separators) with the system's own separators, as the log records paths.
[[nodiscard]] inline std::string NativePath(const std::string& path) {
    return std::filesystem::path(path).make_preferred().string();
}

// The path a delete-file record names (8-bit length-prefixed form).
[[nodiscard]] inline std::string DeletedPath(const LogRecord& record) {
    const std::vector<uint8_t>& d = record.data;
    size_t length = d[0];
    size_t start = 1;
    if (d[0] == 0xFD) {
        length = d[1] | d[2] << 8;
        start = 3;
    } else if (d[0] == 0xFE) {
        length = GetU32(d, 1);
        start = 5;
    }
    EXPECT_EQ(d.size(), start + length + 1);
    EXPECT_EQ(d.back(), 0xFF);
    return std::string(d.begin() + start, d.begin() + start + length);
}

}  // namespace ZephTest
