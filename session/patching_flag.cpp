#include "session/patching_flag.h"

#include "kernel/registry/registry.h"
#include "session/product_registry.h"

namespace ZephPatch {

bool SetPatchingFlag() {
    ZephUtil::RegistryKey key;
    return key.Open(PATCHING_FLAG_KEY, ZephUtil::RegAccess::kWrite) &&
           key.SetDword(PATCHING_FLAG_VALUE, 1);
}

bool ClearPatchingFlag() {
    ZephUtil::RegistryKey key;
    return key.Open(PATCHING_FLAG_KEY, ZephUtil::RegAccess::kWrite) &&
           key.DeleteValue(PATCHING_FLAG_VALUE);
}

}  // namespace ZephPatch
