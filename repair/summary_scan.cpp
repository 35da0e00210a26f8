// The walk that refreshes the summary from the installation.
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"
#include "repair/file_tree_summary.h"
#include "repair/pattern_match.h"
#include "repair/segment_checksums.h"
#include "repair/segment_name.h"
#include "repair/tree_walk.h"

namespace ZephPatch {

// As RegisterFile would, but the checksums of new segments, and of those of a file whose time
// stamp changed, are left for ChecksumSegments to fill in all at once.
void FileTreeSummary::MarkSegments(const std::string& path, const std::string& key, uint64_t size,
                                   int64_t time, std::vector<SegmentToChecksum>* toChecksum,
                                   const std::atomic<bool>* cancel) {
    const uint64_t count = SegmentCount(size);
    // A file of terabytes has millions of segments: the cancel is looked at between them.
    for (uint64_t i = 0; i < count && !(i % 4096 == 0 && cancel && *cancel); ++i) {
        const auto index = static_cast<int64_t>(i);
        auto [row, inserted] = m_entries.try_emplace(SegmentName(key, index));
        SummaryEntry& entry = row->second;
        if (inserted)
            entry.name = row->first;
        if (inserted || entry.modifiedTime != time)
            toChecksum->push_back({SegmentName(path, index), &entry.checksum});
        entry.modifiedTime = time;
        entry.present = true;
    }
}

int FileTreeSummary::Scan(const std::string& root, const std::vector<std::string>& patterns,
                          std::vector<std::string>* emptyFiles, const std::atomic<bool>* cancel) {
    OS::MutexLock lock(&m_mutex);
    for (auto& [key, entry] : m_entries)
        entry.present = false;

    auto cancelled = [&] {
        if (!cancel || !*cancel)
            return false;
        m_entries.clear();
        return true;
    };
    std::vector<SegmentToChecksum> toChecksum;
    for (const WalkedFile& file : WalkTree(root, cancel)) {
        if (cancelled())
            return kSummaryScanCancelled;
        if (MatchesAnyPattern(file.key, patterns))
            continue;
        if (!file.readable) {
            ZephUtil::Print("FileTreeSummary::RegisterFile> unable to get filesize for %s",
                            file.path.c_str());
            continue;
        }
        if (file.size == 0 && emptyFiles)
            emptyFiles->push_back(file.key);
        MarkSegments(file.path, file.key, file.size, file.time, &toChecksum, cancel);
    }
    ChecksumSegments(toChecksum, cancel);
    if (cancelled())
        return kSummaryScanCancelled;

    std::erase_if(m_entries, [](const auto& row) { return !row.second.present; });
    return 0;
}

}  // namespace ZephPatch
