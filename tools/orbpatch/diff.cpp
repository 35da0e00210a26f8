#include "tools/orbpatch/diff.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <thread>

#include "tools/orbpatch/frame_codec.h"
#include "tools/orbpatch/mapped_file.h"
#include "tools/orbpatch/old_index.h"
#include "tools/orbpatch/ordered_workers.h"
#include "tools/orbpatch/pending_file.h"
#include "tools/orbpatch/xxhash64.h"

namespace OrbPatch {
namespace {

// Above this many coded bytes the slower codec and the highest levels would take hours.
constexpr uint64_t THOROUGH_CODED_LIMIT = 512 << 20;
// LZMA2 frames only for blocks that copy at least this many times what they code: there the
// time to write the copies hides their slower decoding.
constexpr uint64_t LZMA_COPY_SHARE = 16;

// About four million anchors whatever the size of OLD: the index stays within 256 MiB, and
// runs a few times the spacing long are still found.
uint32_t AnchorSpacing(uint64_t oldSize) {
    return static_cast<uint32_t>(std::clamp<uint64_t>(std::bit_ceil(oldSize >> 22), 32, 4096));
}

std::vector<Match> FindAllMatches(std::span<const uint8_t> oldData,
                                  std::span<const uint8_t> newData, unsigned threads) {
    OldIndex index(oldData, AnchorSpacing(oldData.size()), threads);
    uint64_t part = newData.size() / threads + 1;
    std::vector<std::vector<Match>> found(threads);
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.emplace_back([&, i] {
            uint64_t begin = std::min(i * part, newData.size());
            found[i] = index.FindMatches(newData, begin, std::min(begin + part, newData.size()));
        });
    }
    std::vector<Match> matches;
    for (unsigned i = 0; i < threads; ++i) {
        workers[i].join();
        matches.insert(matches.end(), found[i].begin(), found[i].end());
    }
    return matches;
}

std::vector<PlannedBlock> PlanBlocks(std::span<const uint8_t> oldData,
                                     std::span<const uint8_t> newData, const DiffOptions& options,
                                     unsigned threads) {
    BlockLimits limits = options.blocks;
    limits.threads = threads;
    limits.wholeOld = oldData.size() <= std::min(options.wholeOldLimit, MAX_REFERENCE_BYTES);
    return PlanFromMatches(FindAllMatches(oldData, newData, threads), oldData.size(),
                           newData.size(), limits);
}

FrameSettings ChooseSettings(const DiffOptions& options, const std::vector<PlannedBlock>& blocks) {
    uint64_t coded = 0;
    for (const PlannedBlock& block : blocks) {
        coded += block.CodedBytes();
    }
    FrameSettings settings;
    bool thorough = coded <= THOROUGH_CODED_LIMIT;
    settings.zstdLevel = options.level != 0 ? options.level : thorough ? 19 : 9;
    // Left off where the level asks for speed.
    settings.tryLzma = thorough && settings.zstdLevel >= 19;
    return settings;
}

// What one thread keeps from block to block.
struct WorkerState {
    FrameEncoder encoder;
    std::vector<uint8_t> reference;
    std::vector<uint8_t> coded;
    std::vector<uint8_t> frame;
};

class BlockEncoder {
public:
    BlockEncoder(std::span<const uint8_t> oldData, std::span<const uint8_t> newData,
                 const FrameSettings& settings)
        : m_old(oldData), m_new(newData), m_settings(settings) {}

    Result Encode(const PlannedBlock& block, uint32_t index, WorkerState* state,
                  WorkOutput* out) const {
        BlockRecord record;
        record.index = index;
        record.ranges = block.reference;
        record.segments = block.segments;
        record.newBytes = block.NewBytes();
        std::span<const uint8_t> reference = Gather(block, &state->reference);
        std::span<const uint8_t> coded = Coded(block, &state->coded);
        record.codedBytes = static_cast<uint32_t>(coded.size());
        state->frame.clear();
        if (!coded.empty()) {
            FrameSettings settings = m_settings;
            settings.tryLzma =
                settings.tryLzma && coded.size() * LZMA_COPY_SHARE <= record.newBytes;
            Result encoded =
                state->encoder.Encode(reference, coded, settings, &record.codec, &state->frame);
            if (!encoded.ok()) {
                return encoded;
            }
        }
        record.frameBytes = static_cast<uint32_t>(state->frame.size());
        record.referenceHash = static_cast<uint32_t>(Xxh64(reference));
        record.copyHash = static_cast<uint32_t>(CopyHash(block));
        record.newHash = Xxh64(m_new.subspan(block.newOffset, record.newBytes));
        *out = EncodeBlockRecord(record, block.newOffset);
        out->insert(out->end(), state->frame.begin(), state->frame.end());
        return Result::Success();
    }

private:
    // The reference's bytes, in place when it is all of OLD.
    std::span<const uint8_t> Gather(const PlannedBlock& block, std::vector<uint8_t>* buffer) const {
        if (block.reference.size() == 1 && block.reference[0].length == m_old.size()) {
            return m_old;
        }
        buffer->clear();
        for (const OldRange& range : block.reference) {
            auto begin = m_old.begin() + static_cast<ptrdiff_t>(range.offset);
            buffer->insert(buffer->end(), begin, begin + range.length);
        }
        return *buffer;
    }

    std::span<const uint8_t> Coded(const PlannedBlock& block, std::vector<uint8_t>* buffer) const {
        buffer->clear();
        uint64_t offset = block.newOffset;
        for (const Segment& segment : block.segments) {
            if (!segment.copy) {
                auto begin = m_new.begin() + static_cast<ptrdiff_t>(offset);
                buffer->insert(buffer->end(), begin,
                               begin + static_cast<ptrdiff_t>(segment.length));
            }
            offset += segment.length;
        }
        return *buffer;
    }

    uint64_t CopyHash(const PlannedBlock& block) const {
        Xxh64Stream hash;
        for (const Segment& segment : block.segments) {
            if (segment.copy) {
                hash.Update(m_old.subspan(segment.oldOffset, segment.length));
            }
        }
        return hash.Digest();
    }

    std::span<const uint8_t> m_old;
    std::span<const uint8_t> m_new;
    const FrameSettings& m_settings;
};

unsigned ThreadCount(const DiffOptions& options) {
    unsigned threads = options.threads != 0 ? options.threads : std::thread::hardware_concurrency();
    return std::max(threads, 1u);
}

}  // namespace

Result EncodeDiff(std::span<const uint8_t> oldData, std::span<const uint8_t> newData,
                  const DiffOptions& options, const ByteSink& write) {
    unsigned threads = ThreadCount(options);
    std::vector<PlannedBlock> blocks = PlanBlocks(oldData, newData, options, threads);
    FileHeader header;
    header.blockCount = static_cast<uint32_t>(blocks.size());
    header.oldSize = oldData.size();
    header.newSize = newData.size();
    Result written = write(EncodeFileHeader(header));
    if (!written.ok()) {
        return written;
    }
    FrameSettings settings = ChooseSettings(options, blocks);
    BlockEncoder encoder(oldData, newData, settings);
    threads = std::clamp<unsigned>(threads, 1, std::max<size_t>(blocks.size(), 1));
    std::vector<WorkerState> states(threads);
    return RunOrdered(
        header.blockCount, threads,
        [&](unsigned worker, uint32_t index, WorkOutput* out) {
            return encoder.Encode(blocks[index], index, &states[worker], out);
        },
        [&](const WorkOutput& bytes) { return write(bytes); });
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
    auto fail = [&diffPath](const std::string& reason) {
        return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE,
                               "cannot write " + diffPath + ": " + reason);
    };
    Result encoded =
        EncodeDiff(oldFile.bytes(), newFile.bytes(), options, [&](std::span<const uint8_t> bytes) {
            return diffFile.Write(bytes, &why) ? Result::Success() : fail(why);
        });
    if (!encoded.ok()) {
        return encoded;
    }
    return diffFile.Commit(DefaultFileMode(), &why) ? Result::Success() : fail(why);
}

}  // namespace OrbPatch
