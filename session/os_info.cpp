#include "session/os_info.h"

namespace ZephPatch {

bool NeedsServicePack(const OsInfo& os) {
    return os.majorVersion == 5 && os.minorVersion == 1 && os.servicePackMajor < 3;
}

}  // namespace ZephPatch
