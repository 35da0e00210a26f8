#include "kernel/files/file_mode.h"
#include "kernel/files/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

namespace ZephUtil {
namespace {

constexpr mode_t kPermissionBits = 07777;

bool StartsLikeProgram(const std::string& path) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen())
        return false;
    char head[4] = {};
    const ssize_t got = read(fd.Get(), head, sizeof head);
    const bool script = got >= 2 && head[0] == '#' && head[1] == '!';
    const bool elf =
        got == 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
    return script || elf;
}

bool IsExeInBin(std::string_view name) {
    std::string lowered(name);
    std::replace(lowered.begin(), lowered.end(), '\\', '/');
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lowered.starts_with("./"))
        lowered.erase(0, 2);
    return lowered.starts_with("bin/") && lowered.ends_with(".exe") &&
           lowered.find('/', 4) == std::string::npos;
}

bool MakeExecutable(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return false;
    const mode_t mode = status.st_mode & kPermissionBits;
    return chmod(path.c_str(), mode | ((mode & 0444) >> 2)) == 0;
}

}  // namespace

bool CopyPermissions(const std::string& from, const std::string& to) {
    struct stat status;
    return stat(from.c_str(), &status) == 0 &&
           chmod(to.c_str(), status.st_mode & kPermissionBits) == 0;
}

void ApplyNewFileMode(const std::string& path, std::string_view relativeName) {
    if (IsExeInBin(relativeName) || StartsLikeProgram(path))
        MakeExecutable(path);
}

}  // namespace ZephUtil
