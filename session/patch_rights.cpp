#include "session/patch_rights.h"

#include "kernel/files/file_utils.h"
#include "kernel/registry/registry.h"
#include "session/installation_access.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

bool RegistryWritable() {
    ZephUtil::RegistryKey key;
    return key.Create(ORVIK_KEY, ZephUtil::RegAccess::kRead) &&
           key.Open(ORVIK_KEY, ZephUtil::RegAccess::kWrite);
}

}  // namespace

bool CheckPatchRights(const std::string& installPath) {
    return RegistryWritable() && ZephUtil::MakeDirectory(TempFolder()) &&
           ProductExecutableWritable(installPath) && InstallationWritable(installPath);
}

}  // namespace ZephPatch
