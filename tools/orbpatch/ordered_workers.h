#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/orbpatch/result.h"

namespace OrbPatch {

// The output of one piece of work: bytes to be consumed in the order of the pieces.
using WorkOutput = std::vector<uint8_t>;

// Runs produce(worker, 0), ..., produce(worker, count - 1) on `threads` threads (`worker` tells
// a thread's own state apart, 0 to threads - 1) and hands each output to consume() on the
// calling thread in order, holding at most threads + 1 outputs at once. Stops at the first
// failure of either and returns it.
Result RunOrdered(
    uint32_t count, unsigned threads,
    const std::function<Result(unsigned worker, uint32_t piece, WorkOutput*)>& produce,
    const std::function<Result(const WorkOutput&)>& consume);

}  // namespace OrbPatch
