// The folder calls on Linux: dirent, mkdir, rmdir.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kernel/files/file_utils.h"
#include "kernel/files/folder_calls.h"

namespace ZephUtil::detail {

const char* const kCreateFolderCall = "mkdir";
const int kFileExistsError = EEXIST;

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

bool CreateFolder(const std::string& path, int* error) {
    if (mkdir(path.c_str(), 0777) == 0)
        return true;
    *error = errno;
    return false;
}

bool RemoveFolder(const std::string& path) {
    return rmdir(path.c_str()) == 0;
}

void SetSystemError(int error) {
    errno = error;
}

}  // namespace ZephUtil::detail
