#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

#include "repair/folder_listing.h"

namespace ZephPatch {
namespace {

// Each status call goes through the folder's descriptor: it then resolves one name instead of
// the whole path.
void Examine(int folderFd, ListedEntry& entry) {
    struct stat info;
    if (fstatat(folderFd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    const bool link = S_ISLNK(info.st_mode);
    if (link && fstatat(folderFd, entry.name.c_str(), &info, 0) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        entry.kind = link ? EntryKind::kLinkedFolder : EntryKind::kFolder;
        return;
    }
    entry.kind = EntryKind::kFile;
    entry.size = static_cast<uint64_t>(info.st_size);
    entry.time = static_cast<int64_t>(info.st_mtime);
}

}  // namespace

std::vector<ListedEntry> ListFolderEntries(const std::string& folder) {
    std::vector<ListedEntry> entries;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return entries;
    while (const dirent* found = readdir(dir)) {
        if (strcmp(found->d_name, ".") != 0 && strcmp(found->d_name, "..") != 0)
            entries.push_back({found->d_name});
    }
    for (ListedEntry& entry : entries)
        Examine(dirfd(dir), entry);
    closedir(dir);
    return entries;
}

}  // namespace ZephPatch
