#include "tools/orbpatch/apply.h"

#include <algorithm>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include "tools/orbpatch/block_handover.h"
#include "tools/orbpatch/frame_codec.h"
#include "tools/orbpatch/legacy_format.h"
#include "tools/orbpatch/mapped_file.h"
#include "tools/orbpatch/pending_file.h"
#include "tools/orbpatch/scratch_buffer.h"
#include "tools/orbpatch/xxhash64.h"

namespace OrbPatch {
namespace {

// DIFF read from start to end; running past its end means it was cut short.
class DiffReader {
public:
    explicit DiffReader(ByteSource& source, uint64_t offset = 0)
        : m_source(source), m_offset(offset) {}

    Result Read(std::span<uint8_t> into) {
        if (into.size() > m_source.Size() - m_offset) {
            return Damaged("truncated");
        }
        std::string why;
        if (!m_source.ReadAt(m_offset, into, &why)) {
            return Result::Failure(ORBPATCH_INPUT_UNREADABLE,
                                   "cannot read the difference file: " + why);
        }
        m_offset += into.size();
        return Result::Success();
    }
    bool AtEnd() const { return m_offset == m_source.Size(); }

private:
    ByteSource& m_source;
    uint64_t m_offset;
};

// Copies pass through this much memory at a time.
constexpr size_t COPY_CHUNK = 1 << 20;

Result OutOfMemory() {
    return Result::Failure(ORBPATCH_INTERNAL, "out of memory for a block");
}

Result ReadOld(ByteSource& oldFile, uint64_t offset, std::span<uint8_t> into) {
    std::string why;
    return oldFile.ReadAt(offset, into, &why)
               ? Result::Success()
               : Result::Failure(ORBPATCH_OLD_UNREADABLE, "cannot read the old file: " + why);
}

// Reads a block's frame from DIFF and decodes it against its reference in OLD.
class FrameStage {
public:
    FrameStage(ByteSource& oldFile, DiffReader& diff) : m_old(oldFile), m_diff(diff) {}

    // Everything before decoding: the reference, checked, and the frame.
    Result Prepare(PendingBlock& block) {
        const BlockRecord& record = block.record;
        m_reference = {};
        Result step = CheckOldRanges(record);
        if (step.ok()) {
            step = LoadReference(record, &m_reference);
        }
        m_frame = m_frameBuffer.Get(record.frameBytes);
        if (step.ok() &&
            (m_frame.size() != record.frameBytes || !block.coded.Allocate(record.codedBytes))) {
            step = OutOfMemory();
        }
        return step.ok() ? m_diff.Read(m_frame) : step;
    }

    // Decodes the prepared block's frame, handing on its coded bytes as they come.
    Result Decode(PendingBlock& block) {
        CodedBytes& coded = block.coded;
        Result decoded = m_decoder.Decode(block.record.codec, m_reference, m_frame, coded.Buffer(),
                                          [&coded](size_t size) { coded.Reached(size); });
        coded.Finish(decoded);
        return decoded;
    }

private:
    // Everything the block reads lies within OLD.
    Result CheckOldRanges(const BlockRecord& record) const {
        auto inside = [&](uint64_t offset, uint64_t length) {
            return offset <= m_old.Size() && length <= m_old.Size() - offset;
        };
        bool ok = true;
        for (const OldRange& range : record.ranges) {
            ok = ok && inside(range.offset, range.length);
        }
        for (const Segment& segment : record.segments) {
            ok = ok && (!segment.copy || inside(segment.oldOffset, segment.length));
        }
        return ok ? Result::Success()
                  : Damaged("block " + std::to_string(record.index) + " reads past OLD");
    }

    // The block's reference, checked against its hash: in place when it is one range, else
    // gathered. Blocks that share all of a small OLD as their reference read it once.
    Result LoadReference(const BlockRecord& record, std::span<const uint8_t>* reference) {
        if (record.ranges == m_verifiedRanges && record.referenceHash == m_verifiedHash) {
            *reference = m_verified;
            return Result::Success();
        }
        m_verifiedRanges.clear();
        if (record.ranges.size() == 1) {
            *reference = m_old.View(record.ranges[0].offset, record.ranges[0].length);
        }
        if (reference->size() != record.ReferenceBytes()) {
            Result gathered = GatherReference(record, reference);
            if (!gathered.ok()) {
                return gathered;
            }
        }
        // A reference that differs means another OLD, however the frame would decode.
        if (static_cast<uint32_t>(Xxh64(*reference)) != record.referenceHash) {
            return OldMismatch();
        }
        m_verified = *reference;
        m_verifiedRanges = record.ranges;
        m_verifiedHash = record.referenceHash;
        return Result::Success();
    }

    Result GatherReference(const BlockRecord& record, std::span<const uint8_t>* reference) {
        std::span<uint8_t> buffer = m_gathered.Get(record.ReferenceBytes());
        if (buffer.size() != record.ReferenceBytes()) {
            return OutOfMemory();
        }
        std::span<uint8_t> rest = buffer;
        for (const OldRange& range : record.ranges) {
            Result read = ReadOld(m_old, range.offset, rest.first(range.length));
            if (!read.ok()) {
                return read;
            }
            rest = rest.subspan(range.length);
        }
        *reference = buffer;
        return Result::Success();
    }

    ByteSource& m_old;
    DiffReader& m_diff;
    // The prepared block's reference and frame.
    std::span<const uint8_t> m_reference;
    std::span<uint8_t> m_frame;
    ScratchBuffer m_gathered;
    // The last checked reference: in m_gathered or a view of OLD.
    std::span<const uint8_t> m_verified;
    std::vector<OldRange> m_verifiedRanges;
    uint64_t m_verifiedHash = 0;
    ScratchBuffer m_frameBuffer;
    FrameDecoder m_decoder;
};

// Writes a block's segments in order: copies streamed from OLD, coded bytes as its frame
// decodes; then checks what was written. A failure of the decoding comes first, as it would had
// the block been decoded before it was written.
class BlockWriter {
public:
    explicit BlockWriter(ByteSource& oldFile) : m_old(oldFile) {}

    Result Write(const BlockRecord& record, CodedBytes& coded, const ByteSink& write) {
        Xxh64Stream made;
        Result written = WriteSegments(record, coded, write, made);
        Result decoded = coded.WaitForEnd();
        if (!decoded.ok() || !written.ok()) {
            return decoded.ok() ? written : decoded;
        }
        if (made.Digest() == record.newHash) {
            return Result::Success();
        }
        // Copies from another OLD, or a damaged difference: only then are the copies' sources
        // read again to tell which.
        Result sources = CheckCopySources(record);
        return sources.ok() ? Damaged("block " + std::to_string(record.index) +
                                      " does not match its checksum")
                            : sources;
    }

private:
    Result WriteSegments(const BlockRecord& record, CodedBytes& coded, const ByteSink& write,
                         Xxh64Stream& made) {
        size_t codedDone = 0;
        for (const Segment& segment : record.segments) {
            for (uint64_t done = 0; done < segment.length;) {
                std::span<const uint8_t> piece;
                if (segment.copy) {
                    Result read = ReadCopy(segment, done, &piece);
                    if (!read.ok()) {
                        return read;
                    }
                } else {
                    // The decoder's failure is what the caller reports then.
                    if (!coded.WaitFor(codedDone + segment.length)) {
                        return Result::Success();
                    }
                    piece = coded.Buffer().subspan(codedDone, segment.length);
                    codedDone += segment.length;
                }
                made.Update(piece);
                Result written = write(piece);
                if (!written.ok()) {
                    return written;
                }
                done += piece.size();
            }
        }
        return Result::Success();
    }

    // The next piece of a copy, `done` bytes into it.
    Result ReadCopy(const Segment& segment, uint64_t done, std::span<const uint8_t>* piece) {
        std::span<uint8_t> chunk = m_chunk.Get(COPY_CHUNK);
        if (chunk.empty()) {
            return OutOfMemory();
        }
        std::span<uint8_t> into =
            chunk.first(std::min<uint64_t>(chunk.size(), segment.length - done));
        *piece = into;
        return ReadOld(m_old, segment.oldOffset + done, into);
    }

    Result CheckCopySources(const BlockRecord& record) {
        Xxh64Stream copied;
        for (const Segment& segment : record.segments) {
            for (uint64_t done = 0; segment.copy && done < segment.length;) {
                std::span<const uint8_t> piece;
                Result read = ReadCopy(segment, done, &piece);
                if (!read.ok()) {
                    return read;
                }
                copied.Update(piece);
                done += piece.size();
            }
        }
        return static_cast<uint32_t>(copied.Digest()) == record.copyHash ? Result::Success()
                                                                         : OldMismatch();
    }

    ByteSource& m_old;
    ScratchBuffer m_chunk;
};

Result ReadBlockRecord(DiffReader& diff, uint32_t index, uint64_t newOffset, BlockRecord* record) {
    uint8_t prefix[RECORD_PREFIX_SIZE];
    Result step = diff.Read(prefix);
    size_t size = 0;
    if (step.ok()) {
        step = BlockRecordSize(prefix, &size);
    }
    if (!step.ok()) {
        return step;
    }
    std::vector<uint8_t> bytes(prefix, prefix + RECORD_PREFIX_SIZE);
    bytes.resize(size);
    step = diff.Read(std::span(bytes).subspan(RECORD_PREFIX_SIZE));
    if (step.ok()) {
        step = DecodeBlockRecord(bytes, newOffset, record);
    }
    if (step.ok() && record->index != index) {
        return Damaged("block " + std::to_string(record->index) + " found where block " +
                       std::to_string(index) + " belongs");
    }
    return step;
}

Result WriteFailure(const std::string& path, const std::string& why) {
    return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE, "cannot write " + path + ": " + why);
}

ByteSink SinkInto(PendingFile& file, const std::string& path) {
    return [&file, path](std::span<const uint8_t> bytes) {
        std::string why;
        return file.Write(bytes, &why) ? Result::Success() : WriteFailure(path, why);
    };
}

// Version 1 files: one frame over all of OLD, decoded with OLD mapped and NEW whole in memory.
Result ApplyLegacyDiff(const std::string& oldPath, const std::string& diffPath,
                       const std::string& outPath) {
    std::string why;
    MappedFile oldFile;
    if (!oldFile.Open(oldPath, &why)) {
        return Result::Failure(ORBPATCH_OLD_UNREADABLE, "cannot read " + oldPath + ": " + why);
    }
    MappedFile diffFile;
    if (!diffFile.Open(diffPath, &why)) {
        return Result::Failure(ORBPATCH_INPUT_UNREADABLE, "cannot read " + diffPath + ": " + why);
    }
    LegacyHeader header;
    Result step = CheckLegacyDiff(oldFile.bytes(), diffFile.bytes(), &header);
    if (!step.ok()) {
        return step;
    }
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[header.newSize]);
    if (!out && header.newSize > 0) {
        return Result::Failure(ORBPATCH_INTERNAL, "out of memory for the new file");
    }
    PendingFile outFile;
    if (!outFile.Create(outPath, &why)) {
        return WriteFailure(outPath, why);
    }
    std::span<uint8_t> newData(out.get(), header.newSize);
    step = DecodeLegacyDiff(oldFile.bytes(), diffFile.bytes(), header, newData);
    if (step.ok()) {
        step = SinkInto(outFile, outPath)(newData);
    }
    // OUT may name OLD or DIFF, which cannot be replaced while they are open on Windows.
    FileMode mode = oldFile.mode() & 0777;
    oldFile.Close();
    diffFile.Close();
    if (step.ok() && !outFile.Commit(mode, &why)) {
        return WriteFailure(outPath, why);
    }
    return step;
}

}  // namespace

Result CheckDiffHeader(ByteSource& oldFile, ByteSource& diff, FileHeader* header) {
    uint8_t bytes[MAX_FILE_HEADER_SIZE];
    std::span<uint8_t> start(bytes, std::min<uint64_t>(diff.Size(), sizeof bytes));
    Result step = DiffReader(diff).Read(start);
    if (step.ok()) {
        step = DecodeFileHeader(start, header);
    }
    if (step.ok() && header->oldSize != oldFile.Size()) {
        return OldMismatch();
    }
    return step;
}

Result DecodeBlocks(ByteSource& oldFile, ByteSource& diff, const FileHeader& header,
                    const ByteSink& write) {
    DiffReader reader(diff, header.size);
    BlockQueue queue;
    // Every block in order, until the first that fails or the writing side stops. A block is
    // handed on before its frame is decoded, so that the writer starts on its copies at once.
    auto decodeAll = [&] {
        FrameStage frames(oldFile, reader);
        uint64_t decoded = 0;
        for (uint32_t index = 0; index < header.blockCount; ++index) {
            auto block = std::make_shared<PendingBlock>();
            block->result = ReadBlockRecord(reader, index, decoded, &block->record);
            if (block->result.ok() && block->record.newBytes > header.newSize - decoded) {
                block->result = Damaged("blocks make more than the size of NEW");
            }
            if (block->result.ok()) {
                block->result = frames.Prepare(*block);
            }
            decoded += block->record.newBytes;
            if (!queue.Push(block) || !block->result.ok() || !frames.Decode(*block).ok()) {
                return;
            }
        }
    };
    std::thread decoding;
    try {
        decoding = std::thread(decodeAll);
    } catch (const std::system_error&) {
        return Result::Failure(ORBPATCH_INTERNAL, "cannot start the decoding thread");
    }
    BlockWriter writer(oldFile);
    Result step = Result::Success();
    uint64_t written = 0;
    for (uint32_t index = 0; index < header.blockCount && step.ok(); ++index) {
        std::shared_ptr<PendingBlock> block = queue.Pop();
        step =
            block->result.ok() ? writer.Write(block->record, block->coded, write) : block->result;
        written += block->record.newBytes;
    }
    queue.Stop();
    decoding.join();
    if (!step.ok()) {
        return step;
    }
    if (written != header.newSize) {
        return Damaged("blocks make less than the size of NEW");
    }
    return reader.AtEnd() ? Result::Success() : Damaged("unexpected data after the last block");
}

Result ApplyDiff(const std::string& oldPath, const std::string& diffPath,
                 const std::string& outPath) {
    std::string why;
    FileSource oldFile;
    if (!oldFile.Open(oldPath, &why)) {
        return Result::Failure(ORBPATCH_OLD_UNREADABLE, "cannot read " + oldPath + ": " + why);
    }
    FileSource diff;
    if (!diff.Open(diffPath, &why)) {
        return Result::Failure(ORBPATCH_INPUT_UNREADABLE, "cannot read " + diffPath + ": " + why);
    }
    uint8_t prefix[VERSION_PREFIX_SIZE];
    if (diff.Size() >= sizeof prefix && !diff.ReadAt(0, prefix, &why)) {
        return Result::Failure(ORBPATCH_INPUT_UNREADABLE, "cannot read " + diffPath + ": " + why);
    }
    if (diff.Size() >= sizeof prefix && FormatVersion(prefix) == LEGACY_FORMAT_VERSION) {
        return ApplyLegacyDiff(oldPath, diffPath, outPath);
    }
    FileHeader header;
    Result step = CheckDiffHeader(oldFile, diff, &header);
    if (!step.ok()) {
        return step;
    }
    PendingFile outFile;
    if (!outFile.Create(outPath, &why)) {
        return WriteFailure(outPath, why);
    }
    step = DecodeBlocks(oldFile, diff, header, SinkInto(outFile, outPath));
    // OUT may name OLD or DIFF, which cannot be replaced while they are open on Windows.
    FileMode mode = oldFile.mode() & 0777;
    oldFile.Close();
    diff.Close();
    if (step.ok() && !outFile.Commit(mode, &why)) {
        return WriteFailure(outPath, why);
    }
    return step;
}

}  // namespace OrbPatch
