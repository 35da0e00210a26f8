#include <windows.h>

#include "kernel/system/windows_support.h"
#include "tools/zephpack/output_file_system.h"

namespace ZephPack {

// A rename without replacing refuses a name that is taken, as a link does; the caller's
// removal of `from` then finds nothing to remove.
bool AddNewName(const std::string& from, const std::string& to) {
    return MoveFileExW(ZephUtil::WidePath(from).c_str(), ZephUtil::WidePath(to).c_str(),
                       MOVEFILE_WRITE_THROUGH) ||
           ZephUtil::FailWithLastError(false);
}

}  // namespace ZephPack
