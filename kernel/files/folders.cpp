// Folder utilities: creating a folder with its parents, deleting a tree, listing entries,
// temporary names.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "kernel/files/file_utils.h"
#include "kernel/files/folder_calls.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {

bool MakeDirectory(const std::string& folder) {
    if (folder.empty())
        return false;
    std::string path = FsPath(folder);
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (FileExists(path)) {
        if (IsDirectory(path))
            return true;
        detail::SetSystemError(detail::kFileExistsError);
        return false;
    }
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash != 0 && !MakeDirectory(path.substr(0, slash)))
        return false;
    int error = 0;
    if (detail::CreateFolder(path, &error))
        return true;
    // Another thread may have made it in between; that is the outcome asked for.
    if (IsDirectory(path))
        return true;
    Print("MakeDirectory> %s returned err %d", detail::kCreateFolderCall, error);
    detail::SetSystemError(error);
    return false;
}

bool DeleteTree(const std::string& folder) {
    if (folder.empty())
        return false;
    std::string root = FsPath(folder);
    std::vector<detail::FolderEntry> entries;
    // A folder that cannot be read is not empty either: the removal below reports it.
    (void)detail::ReadFolder(root, &entries);
    for (const detail::FolderEntry& entry : entries) {
        std::string path = JoinPath(root, entry.name);
        if (entry.isFolder) {
            if (!DeleteTree(path))
                return false;
        } else {
            (void)DeleteFileAt(path);  // a file that stays makes the rmdir below fail
        }
    }
    return detail::RemoveFolder(root);
}

int ListFolder(const std::string& folder, std::set<std::string>* entries) {
    std::string root = FsPath(folder);
    std::vector<detail::FolderEntry> found;
    if (!detail::ReadFolder(root, &found))
        return 4;
    for (const detail::FolderEntry& entry : found)
        entries->insert(JoinPath(root, entry.name));
    return 0;
}

std::string MakeTempName(const std::string& folder) {
    // Atomic, so that two threads never receive the same name.
    static std::atomic<uint32_t> counter(
        static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now().time_since_epoch())
                                  .count()));
    char name[32];
    snprintf(name, sizeof name, "file%u", counter.fetch_add(1));
    return JoinPath(FsPath(folder), name);
}

}  // namespace ZephUtil
