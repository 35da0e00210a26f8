// Minimal first cut of the system log; the full dispatcher follows.
#include "kernel/system_log.h"

#include <cstdio>

namespace ZephUtil {

void VPrintTo(int mask, const char* format, va_list args) {
    if (!format || !(mask & kLogConsole)) return;
    vfprintf(stdout, format, args);
    fputc('\n', stdout);
    fflush(stdout);
}

void PrintTo(int mask, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VPrintTo(mask, format, args);
    va_end(args);
}

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VPrintTo(kLogAll, format, args);
    va_end(args);
}

}  // namespace ZephUtil
