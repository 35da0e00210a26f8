#include "tools/orbpatch/diff.h"

#include <cstring>
#include <new>

#include "tools/orbpatch/mapped_file.h"
#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/pending_file.h"
#include "tools/orbpatch/xxhash64.h"
#include "tools/orbpatch/zstd_context.h"

namespace OrbPatch {
namespace {

Result CompressorFailure(const std::string& what, size_t code) {
    return Result::Failure(ORBPATCH_INTERNAL, what + ": " + ZstdError(code));
}

// Level, window over OLD and NEW, and long-distance matching, so that blocks that moved far
// within a file of hundreds of MiB are still found.
Result Configure(ZSTD_CCtx* ctx, const DiffOptions& options, int windowLog,
                 std::span<const uint8_t> oldData) {
    const struct {
        ZSTD_cParameter param;
        int value;
    } settings[] = {
        {ZSTD_c_compressionLevel, options.level},
        {ZSTD_c_windowLog, windowLog},
        {ZSTD_c_enableLongDistanceMatching, 1},
        // The header's XXH64 of NEW already guards the content.
        {ZSTD_c_checksumFlag, 0},
    };
    for (const auto& setting : settings) {
        size_t rc = ZSTD_CCtx_setParameter(ctx, setting.param, setting.value);
        if (ZSTD_isError(rc)) {
            return CompressorFailure("compressor parameter", rc);
        }
    }
    size_t rc = ZSTD_CCtx_refPrefix(ctx, oldData.data(), oldData.size());
    return ZSTD_isError(rc) ? CompressorFailure("compressor prefix", rc) : Result::Success();
}

}  // namespace

Result EncodeDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> newData,
                  const DiffOptions& options, DiffBytes* out) {
    PatchHeader header;
    header.windowLog = static_cast<uint32_t>(WindowLogFor(oldData.size() + newData.size()));
    header.oldSize = oldData.size();
    header.newSize = newData.size();
    header.oldHash = Xxh64(oldData);
    header.newHash = Xxh64(newData);

    CompressContext ctx(ZSTD_createCCtx());
    if (!ctx) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the compressor");
    }
    Result configured = Configure(ctx.get(), options, static_cast<int>(header.windowLog), oldData);
    if (!configured.ok()) {
        return configured;
    }
    // Only the pages the frame really uses are ever touched, so the bound costs no memory.
    size_t capacity = PATCH_HEADER_SIZE + ZSTD_compressBound(newData.size());
    out->data.reset(new (std::nothrow) uint8_t[capacity]);
    if (!out->data) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the difference file");
    }
    auto encoded = EncodeHeader(header);
    std::memcpy(out->data.get(), encoded.data(), encoded.size());
    size_t frameSize = ZSTD_compress2(ctx.get(), out->data.get() + PATCH_HEADER_SIZE,
                                      capacity - PATCH_HEADER_SIZE, newData.data(), newData.size());
    if (ZSTD_isError(frameSize)) {
        return CompressorFailure("compression", frameSize);
    }
    out->size = PATCH_HEADER_SIZE + frameSize;
    return Result::Success();
}

Result MakeDiff(const std::string& oldPath, const std::string& newPath, const std::string& diffPath,
                const DiffOptions& options) {
    std::string why;
    MappedFile oldFile;
    if (!oldFile.Open(oldPath, &why)) {
        return Result::Failure(ORBPATCH_OLD_UNREADABLE, "cannot read " + oldPath + ": " + why);
    }
    MappedFile newFile;
    if (!newFile.Open(newPath, &why)) {
        return Result::Failure(ORBPATCH_INPUT_UNREADABLE, "cannot read " + newPath + ": " + why);
    }
    // Created before the long compression so that an unwritable destination fails at once.
    PendingFile diffFile;
    if (!diffFile.Create(diffPath, &why)) {
        return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE,
                               "cannot create " + diffPath + ": " + why);
    }
    DiffBytes diff;
    Result encoded = EncodeDiff(oldFile.bytes(), newFile.bytes(), options, &diff);
    if (!encoded.ok()) {
        return encoded;
    }
    if (!diffFile.Write(diff.bytes(), &why) || !diffFile.Commit(DefaultFileMode(), &why)) {
        return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE, "cannot write " + diffPath + ": " + why);
    }
    return Result::Success();
}

}  // namespace OrbPatch
