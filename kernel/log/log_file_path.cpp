// `MakeLogFilePath`: the first free name among NAME, STEM_2.EXT, STEM_3.EXT, ...
#include <cstring>
#include <string>

#include "kernel/files/file_utils.h"
#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"

namespace ZephUtil {

// Kept free of allocation so that the crash paths can number their reports with it.
bool detail::NumberedLogName(const char* name, int number, char* out, size_t outSize) {
    const size_t length = strlen(name);
    // The extension starts at the last dot that no later folder separator follows.
    size_t stemLength = length;
    for (size_t i = length; i > 0; --i) {
        const char c = name[i - 1];
        if (c == '/' || c == '\\')
            break;
        if (c == '.') {
            stemLength = i - 1;
            break;
        }
    }
    char digits[16];
    size_t digitCount = 0;
    if (number > 1) {
        for (int rest = number; rest > 0; rest /= 10)
            digits[digitCount++] = '0' + rest % 10;
    }
    const size_t extensionLength = stemLength < length ? length - stemLength - 1 : 0;
    const size_t needed = number > 1 ? stemLength + 1 + digitCount + 1 + extensionLength : length;
    if (needed + 1 > outSize)
        return false;
    if (number <= 1) {
        memcpy(out, name, length + 1);
        return true;
    }
    char* next = out;
    memcpy(next, name, stemLength);
    next += stemLength;
    *next++ = '_';
    while (digitCount > 0)
        *next++ = digits[--digitCount];
    // A name without a dot still gets one, with an empty extension.
    *next++ = '.';
    memcpy(next, name + length - extensionLength, extensionLength);
    next[extensionLength] = '\0';
    return true;
}

std::string MakeLogFilePath(const std::string& name) {
    std::string candidate(name.size() + 16, '\0');
    for (int number = 1;; ++number) {
        detail::NumberedLogName(name.c_str(), number, candidate.data(), candidate.size());
        if (!EntryExists(candidate.c_str()))
            return candidate.c_str();
    }
}

}  // namespace ZephUtil
