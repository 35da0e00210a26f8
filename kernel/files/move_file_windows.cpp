// `MoveFileIfFree` on Windows: a file that another process holds open cannot be opened
// without sharing, and a move never replaces an existing target.
#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {

bool MoveFileIfFree(const std::string& from, const std::string& to) {
    const std::wstring source = WidePath(from);
    {
        const UniqueHandle exclusive(CreateFileW(source.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                 nullptr));
        if (!exclusive.IsOpen())
            return FailWithLastError(false);
    }
    return MoveFileExW(source.c_str(), WidePath(to).c_str(), MOVEFILE_WRITE_THROUGH) ||
           FailWithLastError(false);
}

}  // namespace ZephUtil
