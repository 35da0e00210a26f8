#include <unistd.h>

#include <climits>

#include "app/core/program_folder.h"

namespace ZephPatch {

std::string ExecutablePath(const std::string& argv0) {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0)
        return std::string(buffer, static_cast<size_t>(length));
    return IsAbsolutePath(argv0) ? argv0 : CurrentFolder() + "/" + argv0;
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

bool ChangeCurrentFolder(const std::string& folder) {
    return chdir(folder.c_str()) == 0;
}

bool IsAbsolutePath(const std::string& path) {
    return path.starts_with('/');
}

}  // namespace ZephPatch
