#include "kernel/system/os_version.h"

namespace ZephUtil {

SystemVersion QuerySystemVersion() {
    return {};
}

bool SystemLibraryLoads(const std::string&) {
    return true;
}

}  // namespace ZephUtil
