#pragma once

#include <lzma.h>
#include <zstd.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/result.h"
#include "tools/orbpatch/zstd_context.h"

namespace OrbPatch {

struct FrameSettings {
    int zstdLevel = 19;
    // Also tries LZMA2 and keeps the smaller frame: LZMA2 codes bytes by their neighbours, and
    // a byte after a match by the byte the match predicts, which suits edited data. It decodes
    // several times more slowly than zstd.
    bool tryLzma = false;
};

// Makes frames that decode to given bytes with a reference as the decoder's dictionary.
// Keeps its compressors between frames. REQUIRES: one thread at a time.
class FrameEncoder {
public:
    FrameEncoder() = default;
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder&) = delete;
    FrameEncoder& operator=(const FrameEncoder&) = delete;

    // Replaces `*frame` with a frame of `coded` and stores its codec. Fails only with
    // ORBPATCH_INTERNAL.
    Result Encode(std::span<const uint8_t> reference, std::span<const uint8_t> coded,
                  const FrameSettings& settings, uint32_t* codec, std::vector<uint8_t>* frame);

private:
    Result EncodeZstd(std::span<const uint8_t> reference, std::span<const uint8_t> coded, int level,
                      std::vector<uint8_t>* frame);
    // False when the frame would be no smaller than `limit` bytes.
    Result EncodeLzma(std::span<const uint8_t> reference, std::span<const uint8_t> coded,
                      size_t limit, std::vector<uint8_t>* frame, bool* smaller);

    CompressContext m_zstd;
    lzma_stream m_lzma = LZMA_STREAM_INIT;
    std::vector<uint8_t> m_candidate;
};

// Decodes frames. Keeps its decompressors between frames. REQUIRES: one thread at a time.
class FrameDecoder {
public:
    FrameDecoder() = default;
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Told how many bytes at the start of `out` are final, as decoding goes on.
    using Progress = std::function<void(size_t)>;

    // Fills `out` exactly from `frame`. Codes: ORBPATCH_DIFF_DAMAGED, ORBPATCH_INTERNAL.
    Result Decode(uint32_t codec, std::span<const uint8_t> reference,
                  std::span<const uint8_t> frame, std::span<uint8_t> out,
                  const Progress& progress = nullptr);

private:
    Result DecodeZstd(std::span<const uint8_t> reference, std::span<const uint8_t> frame,
                      std::span<uint8_t> out);
    Result DecodeLzma(std::span<const uint8_t> reference, std::span<const uint8_t> frame,
                      std::span<uint8_t> out, const Progress& progress);

    DecompressContext m_zstd;
    lzma_stream m_lzma = LZMA_STREAM_INIT;
};

}  // namespace OrbPatch
