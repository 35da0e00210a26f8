// The pause between steps of the asset-database work, replaceable so that the gauge arithmetic
// and the retry schedule can be checked without waiting for them.
#pragma once

#include <cstdint>
#include <functional>

#include "kernel/threads/thread.h"

namespace ZephPatch {

using SleepFunction = std::function<void(uint32_t milliseconds)>;

inline void RealSleep(uint32_t milliseconds) {
    OS::Sleep(milliseconds);
}

}  // namespace ZephPatch
