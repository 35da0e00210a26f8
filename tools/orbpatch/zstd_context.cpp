#include "tools/orbpatch/zstd_context.h"

namespace OrbPatch {

int WindowLogFor(unsigned long long reach) {
    ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
    int log = bounds.lowerBound;
    while (log < bounds.upperBound && (1ULL << log) < reach) {
        ++log;
    }
    return log;
}

std::string ZstdError(size_t code) {
    return ZSTD_isError(code) ? ZSTD_getErrorName(code) : std::string();
}

}  // namespace OrbPatch
