#include <cstring>

#include "kernel/system/system_error.h"

namespace OS {

// The runtime's table, with the number added where it has no text, as on Linux.
std::string SystemErrorText(int code) {
    char buffer[512];
    if (strerror_s(buffer, sizeof buffer, code) != 0)
        buffer[0] = '\0';
    std::string text = buffer;
    if (text.empty() || text == "Unknown error")
        text = "Unknown error " + std::to_string(code);
    return text;
}

}  // namespace OS
