#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"
#include "session/installation_access.h"
#include "session/patch_rights.h"

namespace ZephPatch {

bool ProductExecutableWritable(const std::string& installPath) {
    const std::string program = ZephUtil::JoinPath(installPath, "bin/Velmor.exe");
    if (!ZephUtil::FileExists(program))
        return true;
    const ZephUtil::UniqueFd fd(open(program.c_str(), O_RDWR | O_CLOEXEC));
    return fd.IsOpen();
}

bool InstallationWritable(const std::string& installPath) {
    if (installPath.empty() || !ZephUtil::IsDirectory(installPath))
        return true;
    return faccessat(AT_FDCWD, installPath.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::string TempFolder() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "/tmp";
}

}  // namespace ZephPatch
