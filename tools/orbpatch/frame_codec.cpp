#include "tools/orbpatch/frame_codec.h"

#include <zstd_errors.h>

#include <algorithm>
#include <string>

namespace OrbPatch {
namespace {

constexpr uint32_t LZMA_PRESET = 6;

Result CompressorFailure(const std::string& what, const std::string& why) {
    return Result::Failure(ORBPATCH_INTERNAL, what + ": " + why);
}

// The dictionary both sides use: the reference and the coded bytes, so any match reaches back
// over the whole reference.
lzma_options_lzma LzmaOptions(std::span<const uint8_t> reference, size_t codedSize) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, LZMA_PRESET);
    options.dict_size =
        static_cast<uint32_t>(std::max<uint64_t>(LZMA_DICT_SIZE_MIN, reference.size() + codedSize));
    options.preset_dict = reference.empty() ? nullptr : reference.data();
    options.preset_dict_size = static_cast<uint32_t>(reference.size());
    return options;
}

}  // namespace

FrameEncoder::~FrameEncoder() {
    lzma_end(&m_lzma);
}

Result FrameEncoder::Encode(std::span<const uint8_t> reference, std::span<const uint8_t> coded,
                            const FrameSettings& settings, uint32_t* codec,
                            std::vector<uint8_t>* frame) {
    *codec = CODEC_ZSTD;
    Result result = EncodeZstd(reference, coded, settings.zstdLevel, frame);
    if (!result.ok() || !settings.tryLzma) {
        return result;
    }
    bool smaller = false;
    result = EncodeLzma(reference, coded, frame->size(), &m_candidate, &smaller);
    if (result.ok() && smaller) {
        *codec = CODEC_LZMA2;
        frame->swap(m_candidate);
    }
    return result;
}

Result FrameEncoder::EncodeZstd(std::span<const uint8_t> reference, std::span<const uint8_t> coded,
                                int level, std::vector<uint8_t>* frame) {
    if (!m_zstd) {
        m_zstd.reset(ZSTD_createCCtx());
    }
    if (!m_zstd) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the compressor");
    }
    ZSTD_CCtx* ctx = m_zstd.get();
    ZSTD_CCtx_reset(ctx, ZSTD_reset_session_and_parameters);
    const struct {
        ZSTD_cParameter param;
        int value;
    } settings[] = {
        {ZSTD_c_compressionLevel, level},
        {ZSTD_c_windowLog, WindowLogFor(reference.size() + coded.size())},
        // The record's hash of NEW already guards the content.
        {ZSTD_c_checksumFlag, 0},
    };
    for (const auto& setting : settings) {
        size_t rc = ZSTD_CCtx_setParameter(ctx, setting.param, setting.value);
        if (ZSTD_isError(rc)) {
            return CompressorFailure("compressor parameter", ZstdError(rc));
        }
    }
    size_t rc = ZSTD_CCtx_refPrefix(ctx, reference.data(), reference.size());
    if (ZSTD_isError(rc)) {
        return CompressorFailure("compressor prefix", ZstdError(rc));
    }
    frame->resize(ZSTD_compressBound(coded.size()));
    size_t size = ZSTD_compress2(ctx, frame->data(), frame->size(), coded.data(), coded.size());
    if (ZSTD_isError(size)) {
        return CompressorFailure("compression", ZstdError(size));
    }
    frame->resize(size);
    return Result::Success();
}

Result FrameEncoder::EncodeLzma(std::span<const uint8_t> reference, std::span<const uint8_t> coded,
                                size_t limit, std::vector<uint8_t>* frame, bool* smaller) {
    lzma_options_lzma options = LzmaOptions(reference, coded.size());
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_ret ret = lzma_raw_encoder(&m_lzma, filters);
    if (ret != LZMA_OK) {
        return CompressorFailure("LZMA2 compressor", "setup failed (" + std::to_string(ret) + ")");
    }
    frame->resize(limit);
    m_lzma.next_in = coded.data();
    m_lzma.avail_in = coded.size();
    m_lzma.next_out = frame->data();
    m_lzma.avail_out = frame->size();
    do {
        ret = lzma_code(&m_lzma, LZMA_FINISH);
    } while (ret == LZMA_OK && m_lzma.avail_out > 0);
    // Out of room before the end means no smaller than the frame it would replace.
    *smaller = ret == LZMA_STREAM_END;
    if (ret != LZMA_STREAM_END && ret != LZMA_OK && ret != LZMA_BUF_ERROR) {
        return CompressorFailure("LZMA2 compression", "error " + std::to_string(ret));
    }
    frame->resize(frame->size() - m_lzma.avail_out);
    return Result::Success();
}

FrameDecoder::~FrameDecoder() {
    lzma_end(&m_lzma);
}

Result FrameDecoder::Decode(uint32_t codec, std::span<const uint8_t> reference,
                            std::span<const uint8_t> frame, std::span<uint8_t> out,
                            const Progress& progress) {
    if (out.empty() && frame.empty()) {
        return Result::Success();
    }
    return codec == CODEC_LZMA2 ? DecodeLzma(reference, frame, out, progress)
                                : DecodeZstd(reference, frame, out);
}

Result FrameDecoder::DecodeZstd(std::span<const uint8_t> reference, std::span<const uint8_t> frame,
                                std::span<uint8_t> out) {
    if (ZSTD_getFrameContentSize(frame.data(), frame.size()) != out.size() ||
        ZSTD_findFrameCompressedSize(frame.data(), frame.size()) != frame.size()) {
        return Damaged("no intact frame");
    }
    if (!m_zstd) {
        m_zstd.reset(ZSTD_createDCtx());
    }
    if (!m_zstd) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the decompressor");
    }
    // The frame may reach back over the reference and the coded bytes, and no further.
    size_t rc = ZSTD_DCtx_setParameter(m_zstd.get(), ZSTD_d_windowLogMax,
                                       WindowLogFor(reference.size() + out.size()));
    if (!ZSTD_isError(rc)) {
        rc = ZSTD_DCtx_refPrefix(m_zstd.get(), reference.data(), reference.size());
    }
    if (ZSTD_isError(rc)) {
        return Result::Failure(ORBPATCH_INTERNAL, "decompressor setup: " + ZstdError(rc));
    }
    size_t written =
        ZSTD_decompressDCtx(m_zstd.get(), out.data(), out.size(), frame.data(), frame.size());
    if (ZSTD_isError(written) && ZSTD_getErrorCode(written) == ZSTD_error_memory_allocation) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory while decoding");
    }
    if (ZSTD_isError(written)) {
        return Damaged(ZstdError(written));
    }
    return written == out.size() ? Result::Success() : Damaged("frame decodes short");
}

// LZMA2 is slow to decode, so its output is handed on a piece at a time.
Result FrameDecoder::DecodeLzma(std::span<const uint8_t> reference, std::span<const uint8_t> frame,
                                std::span<uint8_t> out, const Progress& progress) {
    constexpr size_t PIECE = 256 << 10;
    lzma_options_lzma options = LzmaOptions(reference, out.size());
    lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_ret ret = lzma_raw_decoder(&m_lzma, filters);
    if (ret == LZMA_OK) {
        m_lzma.next_in = frame.data();
        m_lzma.avail_in = frame.size();
        m_lzma.next_out = out.data();
        m_lzma.avail_out = 0;
        do {
            const size_t made = static_cast<size_t>(m_lzma.next_out - out.data());
            if (m_lzma.avail_out == 0) {
                m_lzma.avail_out = std::min(PIECE, out.size() - made);
            }
            ret = lzma_code(&m_lzma, LZMA_FINISH);
            if (progress && m_lzma.avail_out == 0) {
                progress(static_cast<size_t>(m_lzma.next_out - out.data()));
            }
        } while (ret == LZMA_OK);
    }
    if (ret == LZMA_MEM_ERROR) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory while decoding");
    }
    if (ret != LZMA_STREAM_END || m_lzma.avail_in != 0 ||
        m_lzma.next_out != out.data() + out.size()) {
        return Damaged("no intact LZMA2 frame");
    }
    return Result::Success();
}

}  // namespace OrbPatch
