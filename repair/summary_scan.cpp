// The walk that refreshes the summary from the installation.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "kernel/file_utils.h"
#include "kernel/system_log.h"
#include "repair/file_tree_summary.h"
#include "repair/pattern_match.h"
#include "repair/segment_checksums.h"
#include "repair/segment_name.h"

namespace ZephPatch {
namespace {

enum class EntryKind { kFolder, kFile, kUnreadable, kLinkedFolder };

struct EntryStatus {
    EntryKind kind = EntryKind::kUnreadable;
    uint64_t size = 0;
    int64_t time = 0;
};

// One folder's entries, read and examined through the folder's descriptor: each status call
// then resolves one name instead of the whole path, which is most of what a rescan of an
// unchanged installation costs.
class Folder {
public:
    explicit Folder(const std::string& path) : m_dir(opendir(path.c_str())) {}
    ~Folder() {
        if (m_dir)
            closedir(m_dir);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The names of the entries but "." and "..", in byte order (as the full paths sort).
    std::vector<std::string> SortedNames() const {
        std::vector<std::string> names;
        while (m_dir) {
            const dirent* entry = readdir(m_dir);
            if (!entry)
                break;
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Folders reached through a symbolic link are not walked, so that a link cannot make the
    // walk endless or leave the tree.
    EntryStatus StatusOf(const std::string& name) const {
        EntryStatus status;
        struct stat info;
        const int fd = dirfd(m_dir);
        if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return status;
        const bool link = S_ISLNK(info.st_mode);
        if (link && fstatat(fd, name.c_str(), &info, 0) != 0)
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

private:
    DIR* m_dir;
};

// A folder still to walk: its full path and its key (relative, backslash-separated).
struct PendingFolder {
    std::string path;
    std::string key;
};

}  // namespace

// As RegisterFile would, but the checksums of new segments, and of those of a file whose time
// stamp changed, are left for ChecksumSegments to fill in all at once.
void FileTreeSummary::MarkSegments(const std::string& path, const std::string& key, uint64_t size,
                                   int64_t time, std::vector<SegmentToChecksum>* toChecksum) {
    const uint64_t count = SegmentCount(size);
    for (uint64_t i = 0; i < count; ++i) {
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
                          std::vector<std::string>* emptyFiles) {
    OS::MutexLock lock(&m_mutex);
    for (auto& [key, entry] : m_entries)
        entry.present = false;

    std::vector<SegmentToChecksum> toChecksum;
    std::deque<PendingFolder> folders{{ZephUtil::FsPath(root), ""}};
    while (!folders.empty()) {
        const PendingFolder folder = std::move(folders.front());
        folders.pop_front();
        const Folder listing(folder.path);
        for (const std::string& name : listing.SortedNames()) {
            const EntryStatus status = listing.StatusOf(name);
            if (status.kind == EntryKind::kLinkedFolder)
                continue;
            const std::string path = ZephUtil::JoinPath(folder.path, name);
            const std::string key = folder.key.empty() ? name : folder.key + '\\' + name;
            if (status.kind == EntryKind::kFolder) {
                folders.push_back({path, key});
                continue;
            }
            if (MatchesAnyPattern(key, patterns))
                continue;
            if (status.kind == EntryKind::kUnreadable) {
                ZephUtil::Print("FileTreeSummary::RegisterFile> unable to get filesize for %s",
                                path.c_str());
                continue;
            }
            if (status.size == 0 && emptyFiles)
                emptyFiles->push_back(key);
            MarkSegments(path, key, status.size, status.time, &toChecksum);
        }
    }
    ChecksumSegments(toChecksum);

    std::erase_if(m_entries, [](const auto& row) { return !row.second.present; });
    return 0;
}

}  // namespace ZephPatch
