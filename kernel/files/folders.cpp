// Folder utilities: creating a folder with its parents, deleting a tree, listing entries,
// temporary names.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {
namespace {

struct FolderEntry {
    std::string name;
    bool isFolder;
};

// The entries of a folder other than "." and ".."; false when it cannot be read. A symbolic
// link counts as a file, so that a tree walk never follows one out of the tree.
bool ReadFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat status;
        bool isFolder =
            lstat(JoinPath(folder, name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
        entries->push_back({std::move(name), isFolder});
    }
    closedir(dir);
    return true;
}

}  // namespace

bool MakeDirectory(const std::string& folder) {
    if (folder.empty())
        return false;
    std::string path = FsPath(folder);
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode))
            return true;
        errno = EEXIST;
        return false;
    }
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash != 0 && !MakeDirectory(path.substr(0, slash)))
        return false;
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    int error = errno;
    // Another thread may have made it in between; that is the outcome asked for.
    if (error == EEXIST && IsDirectory(path))
        return true;
    Print("MakeDirectory> mkdir returned err %d", error);
    errno = error;
    return false;
}

bool DeleteTree(const std::string& folder) {
    if (folder.empty())
        return false;
    std::string root = FsPath(folder);
    std::vector<FolderEntry> entries;
    ReadFolder(root, &entries);
    for (const FolderEntry& entry : entries) {
        std::string path = JoinPath(root, entry.name);
        if (entry.isFolder) {
            if (!DeleteTree(path))
                return false;
        } else {
            (void)DeleteFileAt(path);  // a file that stays makes the rmdir below fail
        }
    }
    return rmdir(root.c_str()) == 0;
}

int ListFolder(const std::string& folder, std::set<std::string>* entries) {
    std::string root = FsPath(folder);
    std::vector<FolderEntry> found;
    if (!ReadFolder(root, &found))
        return 4;
    for (const FolderEntry& entry : found)
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
