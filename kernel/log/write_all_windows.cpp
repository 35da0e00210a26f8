#include <io.h>

#include <cerrno>
#include <climits>

#include "kernel/log/log_internal.h"

namespace ZephUtil::detail {

// A reader that went away shows as a failed write here; it is ignored like every other error.
void WriteAll(int fd, const void* data, size_t size) {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const unsigned chunk = size > INT_MAX ? INT_MAX : static_cast<unsigned>(size);
        const int written = _write(fd, next, chunk);
        if (written > 0) {
            next += written;
            size -= static_cast<size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

}  // namespace ZephUtil::detail
