#include "session/patch_rights.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"
#include "kernel/registry/registry.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

bool RegistryWritable() {
    ZephUtil::RegistryKey key;
    return key.Create(ORVIK_KEY, ZephUtil::RegAccess::kRead) &&
           key.Open(ORVIK_KEY, ZephUtil::RegAccess::kWrite);
}

// Opened for update in place and closed again, unchanged.
bool ProductExecutableWritable(const std::string& installPath) {
    const std::string program = ZephUtil::JoinPath(installPath, "bin/Velmor.exe");
    if (!ZephUtil::FileExists(program))
        return true;
    const ZephUtil::UniqueFd fd(open(program.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.IsOpen())
        return false;
    return true;
}

bool InstallationWritable(const std::string& installPath) {
    if (installPath.empty() || !ZephUtil::IsDirectory(installPath))
        return true;
    return faccessat(AT_FDCWD, installPath.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

}  // namespace

std::string TempFolder() {
    for (const char* name : {"TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "/tmp";
}

bool CheckPatchRights(const std::string& installPath) {
    return RegistryWritable() && ZephUtil::MakeDirectory(TempFolder()) &&
           ProductExecutableWritable(installPath) && InstallationWritable(installPath);
}

}  // namespace ZephPatch
