#include <io.h>

#include <climits>

#include "kernel/log/log_internal.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil::detail {

// Through the descriptor's system handle, so that the bytes leave unchanged whatever text mode
// the runtime keeps for the descriptor. A reader that went away shows as a failed write here;
// it is ignored like every other error.
void WriteAll(int fd, const void* data, size_t size) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE)
        return;
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > INT_MAX ? INT_MAX : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, next, chunk, &written, nullptr) || written == 0)
            return;
        next += written;
        size -= written;
    }
}

}  // namespace ZephUtil::detail
