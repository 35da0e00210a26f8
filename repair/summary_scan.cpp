// The walk that refreshes the summary from the installation.
#include <sys/stat.h>

#include <deque>
#include <set>

#include "kernel/file_utils.h"
#include "kernel/system_log.h"
#include "repair/file_tree_summary.h"
#include "repair/pattern_match.h"

namespace ZephPatch {
namespace {

enum class EntryKind { kFolder, kFile, kUnreadable, kLinkedFolder };

struct EntryStatus {
    EntryKind kind = EntryKind::kUnreadable;
    uint64_t size = 0;
    int64_t time = 0;
};

// One status call per entry: a rescan of an unchanged tree costs little more than a listing.
// Folders reached through a symbolic link are not walked, so that a link cannot make the
// walk endless or leave the tree.
EntryStatus StatusOf(const std::string& path) {
    EntryStatus status;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return status;
    const bool link = S_ISLNK(info.st_mode);
    if (link && stat(path.c_str(), &info) != 0)
        return status;
    if (S_ISDIR(info.st_mode)) {
        status.kind = link ? EntryKind::kLinkedFolder : EntryKind::kFolder;
        return status;
    }
    status.kind = EntryKind::kFile;
    status.size = static_cast<uint64_t>(info.st_size);
    status.time = static_cast<int64_t>(info.st_mtime);
    return status;
}

}  // namespace

int FileTreeSummary::Scan(const std::string& root, const std::vector<std::string>& patterns,
                          std::vector<std::string>* emptyFiles) {
    OS::MutexLock lock(&m_mutex);
    for (auto& [key, entry] : m_entries)
        entry.present = false;

    std::deque<std::string> folders{root};
    while (!folders.empty()) {
        std::set<std::string> entries;
        ZephUtil::ListFolder(folders.front(), &entries);
        folders.pop_front();
        for (const std::string& path : entries) {
            const EntryStatus status = StatusOf(path);
            if (status.kind == EntryKind::kFolder) {
                folders.push_back(path);
                continue;
            }
            if (status.kind == EntryKind::kLinkedFolder)
                continue;
            const std::string key = ZephUtil::RelativePath(path, root);
            if (MatchesAnyPattern(key, patterns))
                continue;
            if (status.kind == EntryKind::kUnreadable) {
                ZephUtil::Print("FileTreeSummary::RegisterFile> unable to get filesize for %s",
                                path.c_str());
                continue;
            }
            if (status.size == 0 && emptyFiles)
                emptyFiles->push_back(key);
            RegisterFileKnown(path, key, status.size, status.time);
        }
    }

    std::erase_if(m_entries, [](const auto& row) { return !row.second.present; });
    return 0;
}

}  // namespace ZephPatch
