#include "kernel/system/system_error.h"

#include <cstring>

namespace OS {

std::string SystemErrorText(int code) {
    char buffer[512];
    // The GNU strerror_r returns either a static text or `buffer`, never fails.
    return strerror_r(code, buffer, sizeof buffer);
}

}  // namespace OS
