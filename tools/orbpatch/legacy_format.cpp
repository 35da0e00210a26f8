#include "tools/orbpatch/legacy_format.h"

#include <zlib.h>
#include <zstd_errors.h>

#include <algorithm>

#include "tools/orbpatch/little_endian.h"
#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/xxhash64.h"
#include "tools/orbpatch/zstd_context.h"

namespace OrbPatch {
namespace {

constexpr size_t CRC_OFFSET = LEGACY_HEADER_SIZE - 4;

Result DecodeHeader(std::span<const uint8_t> bytes, LegacyHeader* header) {
    if (bytes.size() < LEGACY_HEADER_SIZE) {
        return Damaged("too short to be a difference file");
    }
    const uint8_t* in = bytes.data();
    if (FormatVersion(bytes) != LEGACY_FORMAT_VERSION) {
        return Damaged("not a version 1 difference file");
    }
    if (GetLittleEndian<uint32_t>(in + CRC_OFFSET) !=
        static_cast<uint32_t>(crc32(0L, in, static_cast<uInt>(CRC_OFFSET)))) {
        return Damaged("damaged header (checksum mismatch)");
    }
    header->windowLog = GetLittleEndian<uint32_t>(in + 12);
    header->oldSize = GetLittleEndian<uint64_t>(in + 16);
    header->newSize = GetLittleEndian<uint64_t>(in + 24);
    header->oldHash = GetLittleEndian<uint64_t>(in + 32);
    header->newHash = GetLittleEndian<uint64_t>(in + 40);
    return Result::Success();
}

// The frame must be exactly one zstd frame announcing NEW's size, made with a window the
// header allows.
Result CheckFrame(std::span<const uint8_t> frame, const LegacyHeader& header) {
    ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
    if (header.windowLog < static_cast<uint32_t>(bounds.lowerBound) ||
        header.windowLog > static_cast<uint32_t>(bounds.upperBound)) {
        return Damaged("window log " + std::to_string(header.windowLog) + " out of range");
    }
    unsigned long long contentSize = ZSTD_getFrameContentSize(frame.data(), frame.size());
    if (contentSize == ZSTD_CONTENTSIZE_ERROR || contentSize == ZSTD_CONTENTSIZE_UNKNOWN) {
        return Damaged("no valid frame after the header");
    }
    if (contentSize != header.newSize) {
        return Damaged("frame size does not match the header");
    }
    size_t frameSize = ZSTD_findFrameCompressedSize(frame.data(), frame.size());
    if (ZSTD_isError(frameSize)) {
        return Damaged("truncated frame (" + ZstdError(frameSize) + ")");
    }
    if (frameSize != frame.size()) {
        return Damaged("unexpected data after the frame");
    }
    return Result::Success();
}

}  // namespace

Result CheckLegacyDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                       LegacyHeader* header) {
    Result decoded = DecodeHeader(diff, header);
    if (!decoded.ok()) {
        return decoded;
    }
    if (oldData.size() != header->oldSize || Xxh64(oldData) != header->oldHash) {
        return OldMismatch();
    }
    return CheckFrame(diff.subspan(LEGACY_HEADER_SIZE), *header);
}

Result DecodeLegacyDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> diff,
                        const LegacyHeader& header, std::span<uint8_t> out) {
    DecompressContext ctx(ZSTD_createDCtx());
    if (!ctx) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the decompressor");
    }
    // Frames with windows above zstd's default limit are refused unless allowed explicitly.
    size_t rc =
        ZSTD_DCtx_setParameter(ctx.get(), ZSTD_d_windowLogMax, static_cast<int>(header.windowLog));
    if (!ZSTD_isError(rc)) {
        rc = ZSTD_DCtx_refPrefix(ctx.get(), oldData.data(), oldData.size());
    }
    if (ZSTD_isError(rc)) {
        return Result::Failure(ORBPATCH_INTERNAL, "decompressor setup: " + ZstdError(rc));
    }
    std::span<const uint8_t> frame = diff.subspan(LEGACY_HEADER_SIZE);
    size_t written =
        ZSTD_decompressDCtx(ctx.get(), out.data(), out.size(), frame.data(), frame.size());
    if (ZSTD_isError(written)) {
        if (ZSTD_getErrorCode(written) == ZSTD_error_memory_allocation) {
            return Result::Failure(ORBPATCH_INTERNAL, "out of memory while decoding");
        }
        return Damaged(ZstdError(written));
    }
    if (written != out.size() || Xxh64(out) != header.newHash) {
        return Damaged("rebuilt file does not match its checksum");
    }
    return Result::Success();
}

}  // namespace OrbPatch
