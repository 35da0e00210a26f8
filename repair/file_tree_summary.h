// The checksum of every 4 MiB segment of every file under an installation, kept between runs in
// "repair.cks" and sent whole to the repair server.
//
// Stored format (the same on the wire), integers little-endian: the magic "0stf", a 32-bit entry
// count, then per entry in ascending key order: the key as a counted UTF-16LE string, the
// 32-bit checksum, the 64-bit modification time.
//
// Every operation holds the summary's re-entrant mutex for its whole run: safe for concurrent
// use by the repair job and the threads that write repaired segments.
// Implemented in file_tree_summary.cpp, summary_format.cpp and summary_scan.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kernel/buffers/data_buffer.h"
#include "kernel/threads/mutex.h"
#include "repair/segment_checksums.h"

namespace ZephPatch {

constexpr uint32_t kSummaryMagic = 0x66747330;  // "0stf"
// Load's answer to a stream that does not start with the magic.
constexpr int kSummaryBadMagic = 10;
// Scan's answer when it was cancelled.
constexpr int kSummaryScanCancelled = 1;

struct SummaryEntry {
    std::string name;          // the segment key, UTF-8, backslash-separated
    uint32_t checksum = 0;     // 0 only when the data could not be read
    int64_t modifiedTime = 0;  // of the whole file, seconds since 1970 UTC
    bool present = false;      // seen by the current scan; never stored
};

// Keys in UTF-16 code-unit order, the order the stored format uses, without converting: UTF-8
// bytes order like code points, which differs only between U+E000..U+FFFF and the planes above.
struct Utf16KeyOrder {
    bool operator()(const std::string& a, const std::string& b) const;
};

using SummaryMap = std::map<std::string, SummaryEntry, Utf16KeyOrder>;

class FileTreeSummary {
public:
    FileTreeSummary() = default;
    FileTreeSummary(const FileTreeSummary&) = delete;
    FileTreeSummary& operator=(const FileTreeSummary&) = delete;

    void Clear();
    // Writes the stored format; the first failing write's result, or 0.
    [[nodiscard]] int Save(ZephUtil::ZephDataBuffer& destination);
    // Replaces the table with the stream's entries (a later duplicate wins), `present` false.
    // kSummaryBadMagic, leaving the table empty, for a stream without the magic; otherwise the
    // first failing read's result (entries read before it stay), or 0. A name longer than
    // kMaxWireNameUnits, or more than `maxEntries` entries, are refused with kBufOutOfRange
    // before they are read.
    [[nodiscard]] int Load(ZephUtil::ZephDataBuffer& source, uint32_t maxEntries = UINT32_MAX);

    // Refreshes the table from the files under `root` (in key order), skipping relative paths
    // that match a pattern; rows of files and segments that are gone are dropped. Only segments
    // of files whose time stamp changed, or that are new, are read, on every core. Keys of empty
    // files, which have no rows, go to `emptyFiles` when given. Returns 0; soon after `cancel`
    // is set, kSummaryScanCancelled with the table empty (half-checked rows are never kept).
    [[nodiscard]] int Scan(const std::string& root, const std::vector<std::string>& patterns,
                           std::vector<std::string>* emptyFiles = nullptr,
                           const std::atomic<bool>* cancel = nullptr);
    // Registers every segment of one file. False (with a diagnostic) when its size cannot be
    // read, or at the first segment that fails.
    [[nodiscard]] bool RegisterFile(const std::string& localPath, const std::string& key);
    // Adds or refreshes one row. A zero checksum asks for it to be computed from the local data
    // unless the file's time stamp is unchanged; a non-zero one is stored as given and stamps
    // every row of the file with the file's time. False when the file's time cannot be read.
    [[nodiscard]] bool RegisterSegment(const std::string& localSegmentPath, const std::string& key,
                                       uint32_t checksum);
    void RemoveSegment(const std::string& key);
    // Removes the rows of the segments after `key`'s, up to the first missing one.
    void RemoveSegmentsAfter(const std::string& key);
    // Sets the time of the rows fileKey#000, #001, ... up to the first missing one.
    void TouchSegments(const std::string& fileKey, int64_t time);

    // A copy of the table, for comparing two summaries.
    [[nodiscard]] SummaryMap Snapshot() const;
    // The table itself, leaving the summary empty: for a summary read only to be compared.
    [[nodiscard]] SummaryMap TakeEntries();
    [[nodiscard]] size_t Size() const;

private:
    [[nodiscard]] bool RegisterFileKnown(const std::string& localPath, const std::string& key,
                                         uint64_t size, int64_t time);
    void MarkSegments(const std::string& localPath, const std::string& key, uint64_t size,
                      int64_t time, std::vector<SegmentToChecksum>* toChecksum,
                      const std::atomic<bool>* cancel);
    [[nodiscard]] bool RegisterSegmentAt(const std::string& localSegmentPath,
                                         const std::string& key, uint32_t checksum, int64_t time);

    mutable OS::Mutex m_mutex;
    SummaryMap m_entries;
};

}  // namespace ZephPatch
