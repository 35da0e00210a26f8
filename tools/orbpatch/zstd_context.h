#pragma once

#include <zstd.h>

#include <memory>
#include <string>

namespace OrbPatch {

struct CCtxDeleter {
    void operator()(ZSTD_CCtx* ctx) const { ZSTD_freeCCtx(ctx); }
};
struct DCtxDeleter {
    void operator()(ZSTD_DCtx* ctx) const { ZSTD_freeDCtx(ctx); }
};
using CompressContext = std::unique_ptr<ZSTD_CCtx, CCtxDeleter>;
using DecompressContext = std::unique_ptr<ZSTD_DCtx, DCtxDeleter>;

// Smallest window log whose window covers `reach` bytes, within what zstd accepts. A frame
// that uses OLD as its prefix must reach back over all of OLD and the NEW written so far.
[[nodiscard]] int WindowLogFor(unsigned long long reach);

// Text for a zstd result code, or empty when `code` is not an error.
[[nodiscard]] std::string ZstdError(size_t code);

}  // namespace OrbPatch
