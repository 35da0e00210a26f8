#include "repair/file_tree_summary.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"
#include "repair/segment_io.h"
#include "repair/segment_name.h"

namespace ZephPatch {

bool Utf16KeyOrder::operator()(const std::string& a, const std::string& b) const {
    // The first differing byte, eight at a time: keys share long folder prefixes.
    static_assert(std::endian::native == std::endian::little);
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    for (uint64_t x, y; i + 8 <= common; i += 8) {
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) {
            i += static_cast<size_t>(std::countr_zero(x ^ y)) / 8;  // little-endian
            break;
        }
    }
    while (i < common && a[i] == b[i])
        ++i;
    if (i == b.size())
        return false;
    if (i == a.size())
        return true;
    const auto x = static_cast<uint8_t>(a[i]);
    const auto y = static_cast<uint8_t>(b[i]);
    // Lead bytes 0xEE/0xEF start U+E000..U+FFFF, 0xF0 and up the planes above, whose
    // surrogates (0xD800..) come first in UTF-16.
    const bool xHigh = x == 0xEE || x == 0xEF;
    const bool yHigh = y == 0xEE || y == 0xEF;
    if (xHigh && y >= 0xF0)
        return false;
    if (yHigh && x >= 0xF0)
        return true;
    return x < y;
}

void FileTreeSummary::Clear() {
    OS::MutexLock lock(&m_mutex);
    m_entries.clear();
}

bool FileTreeSummary::RegisterFile(const std::string& localPath, const std::string& key) {
    OS::MutexLock lock(&m_mutex);
    uint64_t size = 0;
    uint64_t time = 0;
    if (ZephUtil::GetFileSizeOf(localPath, &size) != 0) {
        ZephUtil::Print("FileTreeSummary::RegisterFile> unable to get filesize for %s",
                        localPath.c_str());
        return false;
    }
    if (size > 0 && ZephUtil::GetFileModifiedTime(localPath, &time) != 0)
        return false;
    return RegisterFileKnown(localPath, key, size, static_cast<int64_t>(time));
}

bool FileTreeSummary::RegisterFileKnown(const std::string& localPath, const std::string& key,
                                        uint64_t size, int64_t time) {
    const uint64_t count = SegmentCount(size);
    for (uint64_t i = 0; i < count; ++i) {
        const auto index = static_cast<int64_t>(i);
        if (!RegisterSegmentAt(SegmentName(localPath, index), SegmentName(key, index), 0, time))
            return false;
    }
    return true;
}

bool FileTreeSummary::RegisterSegment(const std::string& localSegmentPath, const std::string& key,
                                      uint32_t checksum) {
    OS::MutexLock lock(&m_mutex);
    uint64_t time = 0;
    if (ZephUtil::GetFileModifiedTime(SegmentBase(localSegmentPath), &time) != 0)
        return false;
    return RegisterSegmentAt(localSegmentPath, key, checksum, static_cast<int64_t>(time));
}

bool FileTreeSummary::RegisterSegmentAt(const std::string& localSegmentPath, const std::string& key,
                                        uint32_t checksum, int64_t time) {
    auto [row, inserted] = m_entries.try_emplace(key);
    SummaryEntry& entry = row->second;
    if (inserted) {
        entry.name = key;
        entry.checksum = checksum != 0 ? checksum : ChecksumSegment(localSegmentPath);
    } else if (entry.modifiedTime == time) {
        if (checksum != 0)
            entry.checksum = checksum;
    } else {
        entry.checksum = checksum != 0 ? checksum : ChecksumSegment(localSegmentPath);
    }
    entry.modifiedTime = time;
    entry.present = true;
    // Writing one segment moved the time stamp that every segment of the file shares.
    if (checksum != 0)
        TouchSegments(SegmentBase(key), time);
    return true;
}

void FileTreeSummary::RemoveSegment(const std::string& key) {
    OS::MutexLock lock(&m_mutex);
    m_entries.erase(key);
}

void FileTreeSummary::RemoveSegmentsAfter(const std::string& key) {
    OS::MutexLock lock(&m_mutex);
    const std::string base = SegmentBase(key);
    for (int64_t i = SegmentIndex(key) + 1; m_entries.erase(SegmentName(base, i)) > 0; ++i) {
    }
}

void FileTreeSummary::TouchSegments(const std::string& fileKey, int64_t time) {
    OS::MutexLock lock(&m_mutex);
    for (int64_t i = 0;; ++i) {
        auto row = m_entries.find(SegmentName(fileKey, i));
        if (row == m_entries.end())
            return;
        row->second.modifiedTime = time;
    }
}

SummaryMap FileTreeSummary::Snapshot() const {
    OS::MutexLock lock(&m_mutex);
    return m_entries;
}

SummaryMap FileTreeSummary::TakeEntries() {
    OS::MutexLock lock(&m_mutex);
    return std::exchange(m_entries, {});
}

size_t FileTreeSummary::Size() const {
    OS::MutexLock lock(&m_mutex);
    return m_entries.size();
}

}  // namespace ZephPatch
