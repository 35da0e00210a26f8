// Minimal first cut of the fatal paths; crash reports follow.
#include "kernel/crash.h"

#include <cstdlib>

#include "kernel/system_log.h"

namespace ZephUtil {

void ZephAssert(bool condition, const char* text) {
    if (condition) return;
    Print("Assertion failed: %s", text);
    abort();
}

}  // namespace ZephUtil
