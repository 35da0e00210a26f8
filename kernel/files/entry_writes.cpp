// Writes at names that come from a patch, a list file or a server: a link at the name's own
// place is the entry itself, never a way to somewhere else.
#include <algorithm>
#include <filesystem>

#include "kernel/files/file_utils.h"

namespace ZephUtil {

bool LinkLeadsOutside(const std::string& path, const std::string& root) {
    namespace fs = std::filesystem;
    if (!IsLinkAt(path))
        return false;
    // From UTF-8 explicitly: Windows would read a plain string in its 8-bit code page.
    auto pathOf = [](const std::string& utf8) {
        const std::string fsPath = FsPath(utf8);
        return fs::path(std::u8string(fsPath.begin(), fsPath.end()));
    };
    std::error_code error;
    const fs::path target = fs::canonical(pathOf(path), error);
    if (error)
        return true;
    auto below = [&](const fs::path& folder) {
        const fs::path real = fs::canonical(folder, error);
        return !error &&
               std::mismatch(real.begin(), real.end(), target.begin(), target.end()).first ==
                   real.end();
    };
    return !below(pathOf(root)) && !below(pathOf(path).parent_path());
}

}  // namespace ZephUtil
