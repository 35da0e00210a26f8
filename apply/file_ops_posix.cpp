#include <fcntl.h>
#include <unistd.h>

#include "apply/file_ops.h"
#include "kernel/files/unique_fd.h"

namespace ZephPatch {

bool SyncWrittenFiles(const std::string& folder, const std::vector<std::string>&) {
    ZephUtil::UniqueFd dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.IsOpen() && ::syncfs(dir.Get()) == 0;
}

}  // namespace ZephPatch
