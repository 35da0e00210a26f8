// The difference format in process: the hash, the header and records byte for byte, round trips
// at block and reference boundaries with small limits, and that a damaged difference or another
// OLD never decodes to a wrong file.

#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>

#include "tests/tools/orbpatch/tool_runner.h"
#include "tools/orbpatch/apply.h"
#include "tools/orbpatch/diff.h"
#include "tools/orbpatch/patch_format.h"
#include "tools/orbpatch/xxhash64.h"

namespace OrbPatchTest {
namespace {

using namespace OrbPatch;

// zstd stores the low 32 bits of XXH64 (seed 0) of the content at the end of a frame made with
// the checksum flag: an independent reference for every tail length and stripe count.
uint32_t ZstdFrameChecksum(const Bytes& content) {
    Bytes frame(ZSTD_compressBound(content.size()));
    ZSTD_CCtx* ctx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(ctx, ZSTD_c_checksumFlag, 1);
    size_t size = ZSTD_compress2(ctx, frame.data(), frame.size(), content.data(), content.size());
    ZSTD_freeCCtx(ctx);
    uint32_t checksum = 0;
    std::memcpy(&checksum, frame.data() + size - 4, 4);
    return checksum;
}

TEST(Xxh64, MatchesKnownValueAndZstdChecksumInAnyPieces) {
    EXPECT_EQ(Xxh64({}), 0xEF46DB3751D8E999ULL);
    Bytes data = RandomBytes(5000, 7);
    for (size_t size : {1, 3, 4, 7, 8, 15, 31, 32, 33, 63, 64, 100, 1000, 4099}) {
        Bytes part(data.begin(), data.begin() + static_cast<long>(size));
        EXPECT_EQ(static_cast<uint32_t>(Xxh64(part)), ZstdFrameChecksum(part)) << size;
    }
    for (size_t cut : {0, 1, 31, 32, 33, 100, 4999}) {
        Xxh64Stream stream;
        stream.Update(std::span(data).first(cut));
        stream.Update(std::span(data).subspan(cut, 1));
        stream.Update(std::span(data).subspan(cut + 1));
        EXPECT_EQ(stream.Digest(), Xxh64(data)) << cut;
    }
    EXPECT_NE(Xxh64(data, 0), Xxh64(data, 1));
}

TEST(PatchFormat, HeaderAndRecordRoundTripAndRefuseAnyChangedByte) {
    std::vector<uint8_t> header = EncodeFileHeader({3, 0x0102030405060708ULL, 300, 0});
    ASSERT_EQ(std::string(header.begin(), header.begin() + 8), "ORBPATCH");
    EXPECT_EQ(header[8], 2);
    EXPECT_EQ(header[12], 3);  // varints, low seven bits first
    EXPECT_EQ(header[13], 0x88);
    FileHeader readHeader;
    ASSERT_TRUE(DecodeFileHeader(header, &readHeader).ok());
    EXPECT_EQ(readHeader.blockCount, 3u);
    EXPECT_EQ(readHeader.oldSize, 0x0102030405060708ULL);
    EXPECT_EQ(readHeader.newSize, 300u);
    EXPECT_EQ(readHeader.size, header.size());

    BlockRecord record;
    record.index = 7;
    record.codec = CODEC_LZMA2;
    record.newBytes = 10000 + 300 + 5000;
    record.codedBytes = 300;
    record.frameBytes = 120;
    record.referenceHash = 1;
    record.copyHash = 2;
    record.newHash = 3;
    record.ranges = {{100, 50}, {1 << 20, 4096}};
    // A copy from before the block's offset, coded bytes, and a copy from far after it.
    record.segments = {{10000, true, 5}, {300, false, 0}, {5000, true, 1ULL << 33}};
    std::vector<uint8_t> bytes = EncodeBlockRecord(record, 1 << 20);
    BlockRecord read;
    ASSERT_TRUE(DecodeBlockRecord(bytes, 1 << 20, &read).ok());
    EXPECT_EQ(read.ranges, record.ranges);
    EXPECT_EQ(read.segments, record.segments);
    EXPECT_EQ(read.codec, record.codec);
    EXPECT_EQ(read.newHash, 3u);

    for (size_t i = 0; i < header.size(); ++i) {
        auto damaged = header;
        damaged[i] ^= 0x10;
        EXPECT_FALSE(DecodeFileHeader(damaged, &readHeader).ok()) << "header byte " << i;
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto damaged = bytes;
        damaged[i] ^= 0x10;
        size_t size = 0;
        bool sized = BlockRecordSize(damaged, &size).ok() && size == damaged.size();
        EXPECT_FALSE(sized && DecodeBlockRecord(damaged, 1 << 20, &read).ok()) << "byte " << i;
    }
    // An intact record is still refused when it asks for more memory than a decoder holds.
    record.codedBytes = MAX_CODED_BYTES + 1;
    record.segments[1].length = record.codedBytes;
    record.newBytes = 15000 + record.codedBytes;
    EXPECT_FALSE(DecodeBlockRecord(EncodeBlockRecord(record, 0), 0, &read).ok());
}

// Blocks of 64 KiB coded bytes and no whole-OLD reference, so that small files cross every
// boundary a multi-gigabyte one does.
DiffOptions SmallLimits() {
    DiffOptions options;
    options.wholeOldLimit = 0;
    options.blocks.codedBytes = 64 << 10;
    options.blocks.reference.floor = 64 << 10;
    options.threads = 2;
    return options;
}

Bytes Encode(const Bytes& oldData, const Bytes& newData, const DiffOptions& options) {
    Bytes diff;
    Result result = EncodeDiff(oldData, newData, options, [&](std::span<const uint8_t> bytes) {
        diff.insert(diff.end(), bytes.begin(), bytes.end());
        return Result::Success();
    });
    EXPECT_TRUE(result.ok()) << result.message;
    return diff;
}

// The exit code of applying `diff` to `oldData`; NEW in `*out` when it is 0.
int Decode(const Bytes& oldData, const Bytes& diff, Bytes* out) {
    MemorySource oldSource(oldData);
    MemorySource diffSource(diff);
    FileHeader header;
    out->clear();
    Result result = CheckDiffHeader(oldSource, diffSource, &header);
    if (result.ok()) {
        result = DecodeBlocks(oldSource, diffSource, header, [&](std::span<const uint8_t> bytes) {
            out->insert(out->end(), bytes.begin(), bytes.end());
            return Result::Success();
        });
    }
    return result.code;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes joined;
    for (const Bytes& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t size) {
    return Bytes(bytes.begin() + static_cast<long>(from),
                 bytes.begin() + static_cast<long>(from + size));
}

TEST(DiffRoundTrip, RebuildsNewAcrossBlockAndReferenceBoundaries) {
    const size_t block = 64 << 10;
    Bytes old = RandomBytes(1 << 20, 1);
    Bytes edited = old;
    for (size_t at = 5000; at + 1000 < edited.size(); at += 90000) {
        Bytes patch = RandomBytes(1000, at);
        std::copy(patch.begin(), patch.end(), edited.begin() + static_cast<long>(at));
    }
    // Zeros with some data in between, as in a sparse file, and edits in the zeros.
    Bytes holes(2 << 20, 0);
    for (size_t at = 0; at < holes.size(); at += 512 << 10) {
        Bytes data = RandomBytes(4096, at + 9);
        std::copy(data.begin(), data.end(), holes.begin() + static_cast<long>(at));
    }
    Bytes holesEdited = holes;
    for (size_t at = 100000; at < holes.size(); at += 600000) {
        Bytes patch = RandomBytes(1000, at);
        std::copy(patch.begin(), patch.end(), holesEdited.begin() + static_cast<long>(at));
    }
    struct Case {
        const char* name;
        Bytes oldData;
        Bytes newData;
        size_t maxDiff;
    } cases[] = {
        {"scattered edits", old, edited, 12 * 1000 + 2000},
        {"edits between holes", holes, holesEdited, 4 * 1000 + 400},
        {"parts moved far apart", old,
         Join({Slice(old, 700000, 300000), Slice(old, 0, 700000), Slice(old, 1000000, 48576)}),
         1000},
        {"everything shifted", old, Join({RandomBytes(7, 2), old}), 1000},
        {"new ends with all of old", old, Join({RandomBytes(block, 3), old}), block + 1000},
        {"nothing shared, one short of two blocks", old, RandomBytes(2 * block - 1, 4),
         2 * block + 1000},
        {"nothing shared, exactly two blocks", old, RandomBytes(2 * block, 5), 2 * block + 1000},
        {"nothing shared, one past two blocks", old, RandomBytes(2 * block + 1, 6),
         2 * block + 1000},
        {"empty old", {}, RandomBytes(3 * block, 7), 3 * block + 1000},
        {"empty new", old, {}, 100},
        {"both empty", {}, {}, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes diff = Encode(c.oldData, c.newData, SmallLimits());
        Bytes rebuilt;
        EXPECT_EQ(Decode(c.oldData, diff, &rebuilt), 0);
        EXPECT_TRUE(rebuilt == c.newData);
        EXPECT_LE(diff.size(), c.maxDiff);
    }
    // A small OLD is every block's reference; blocks are split evenly between the threads.
    for (size_t size : {block - 1, block, block + 1, 3 * block}) {
        SCOPED_TRACE(size);
        DiffOptions whole = SmallLimits();
        whole.wholeOldLimit = 1 << 20;
        Bytes newData = Join({Slice(edited, 0, size), RandomBytes(100, size)});
        Bytes rebuilt;
        EXPECT_EQ(Decode(old, Encode(old, newData, whole), &rebuilt), 0);
        EXPECT_TRUE(rebuilt == newData);
    }
    // Blocks also close on their number of segments: many short copies between edits.
    DiffOptions fewSegments = SmallLimits();
    fewSegments.blocks.maxSegments = 3;
    fewSegments.blocks.copyMin = 128;
    Bytes often = old;
    for (size_t at = 300; at < often.size(); at += 1000) {
        often[at] ^= 0x5A;
    }
    Bytes diff = Encode(old, often, fewSegments);
    FileHeader header;
    ASSERT_TRUE(DecodeFileHeader(diff, &header).ok());
    EXPECT_GT(header.blockCount, often.size() / 1000 / 3);
    Bytes rebuilt;
    EXPECT_EQ(Decode(old, diff, &rebuilt), 0);
    EXPECT_TRUE(rebuilt == often);
}

// What a changed OLD does to a diff that copies its first half, codes edits near 600 KiB with
// OLD around them as reference, and never reads past 800 KiB.
TEST(DiffRoundTrip, AnotherOldIsRefusedWhereItMatters) {
    Bytes old = RandomBytes(1 << 20, 11);
    Bytes newData = Slice(old, 0, 800 << 10);
    newData[600 << 10] ^= 1;
    Bytes diff = Encode(old, newData, SmallLimits());
    Bytes rebuilt;
    ASSERT_EQ(Decode(old, diff, &rebuilt), 0);

    struct Case {
        const char* name;
        size_t at;
        int code;
    } cases[] = {
        {"byte a copy reads", 1000, ORBPATCH_OLD_MISMATCH},
        {"byte only the reference holds", 600 << 10, ORBPATCH_OLD_MISMATCH},
        {"byte nothing reads", 900 << 10, ORBPATCH_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes other = old;
        other[c.at] ^= 0x80;
        EXPECT_EQ(Decode(other, diff, &rebuilt), c.code);
        EXPECT_TRUE(c.code != 0 || rebuilt == newData);
    }
    Bytes longer = Join({old, {0}});
    EXPECT_EQ(Decode(longer, diff, &rebuilt), ORBPATCH_OLD_MISMATCH);
}

// Any single flipped bit or truncation either fails or still yields exactly NEW: never another
// file reported as success. Both codecs: vertex data between long copies takes LZMA2, a small
// file coded whole takes zstd.
// Frames are decoded a block ahead of the writing: the failure reported is still the first in
// NEW's order, and a writer that fails ends the decoding.
TEST(DiffRoundTrip, FailuresComeInTheOrderOfNew) {
    Bytes oldData = RandomBytes(512 << 10, 7);
    Bytes newData = oldData;
    for (size_t at = 0; at < newData.size(); at += 4096) {
        newData[at] ^= 1;  // runs too short to copy: every block has coded bytes
    }
    Bytes diff = Encode(oldData, newData, SmallLimits());
    // Cut short within the second of eight blocks: its frame cannot be read.
    for (const Bytes& tried : {diff, Slice(diff, 0, diff.size() * 3 / 16)}) {
        MemorySource oldSource(oldData);
        MemorySource diffSource(tried);
        FileHeader header;
        ASSERT_TRUE(CheckDiffHeader(oldSource, diffSource, &header).ok());
        ASSERT_EQ(header.blockCount, 8u);
        int writes = 0;
        Result result = DecodeBlocks(oldSource, diffSource, header, [&](std::span<const uint8_t>) {
            ++writes;
            return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE, "disk full");
        });
        EXPECT_EQ(result.code, ORBPATCH_OUTPUT_UNWRITABLE);
        EXPECT_EQ(writes, 1);
    }
}

// A block is written while its frame still decodes: each coded run waits for the decoder, and a
// frame found damaged is reported ahead of a failure to write the block's first bytes.
TEST(DiffRoundTrip, WritingWaitsForTheFrameAndItsDamageComesFirst) {
    Bytes text;
    for (int line = 0; text.size() < (4 << 20); ++line) {
        std::string s = "signal_" + std::to_string(line * 7919 % 100003) + " aspect " +
                        std::to_string(line % 7) + "\n";
        text.insert(text.end(), s.begin(), s.end());
    }
    Bytes oldData = RandomBytes(64 << 10, 3);
    Bytes newData = Join({oldData, text});
    Bytes diff = Encode(oldData, newData, DiffOptions{});
    Bytes rebuilt;
    ASSERT_EQ(Decode(oldData, diff, &rebuilt), 0);
    EXPECT_TRUE(rebuilt == newData);

    std::fill(diff.begin() + 1000, diff.end(), 0);
    MemorySource oldSource(oldData);
    MemorySource diffSource(diff);
    FileHeader header;
    ASSERT_TRUE(CheckDiffHeader(oldSource, diffSource, &header).ok());
    Result result = DecodeBlocks(oldSource, diffSource, header, [](std::span<const uint8_t>) {
        return Result::Failure(ORBPATCH_OUTPUT_UNWRITABLE, "disk full");
    });
    EXPECT_EQ(result.code, ORBPATCH_DIFF_DAMAGED) << result.message;
}

TEST(DiffRoundTrip, DamagedDiffNeverDecodesToAWrongFile) {
    Bytes text;
    for (int line = 0; text.size() < (128 << 10); ++line) {
        std::string s = "entry_" + std::to_string(line * 7919 % 10007) + " = track signal\n";
        text.insert(text.end(), s.begin(), s.end());
    }
    // Vertex data written over the text in places: what LZMA2 codes better.
    Bytes editedText = text;
    for (size_t at = 1000; at + 1024 < editedText.size(); at += 20000) {
        for (size_t i = 0; i < 96; ++i) {
            float x = static_cast<float>(at) + 0.25f * static_cast<float>(i * i % 61);
            std::memcpy(&editedText[at + 4 * i], &x, 4);
        }
    }
    Bytes small = RandomBytes(20000, 1);
    Bytes smallEdited = Join({Slice(small, 0, 5000), Bytes(300, 'x'), Slice(small, 5000, 15000)});
    smallEdited[15000] ^= 0xFF;
    DiffOptions whole;
    whole.threads = 1;
    for (const auto& [oldData, newData, options] :
         {std::tuple{text, editedText, SmallLimits()}, std::tuple{small, smallEdited, whole}}) {
        Bytes diff = Encode(oldData, newData, options);
        for (size_t i = 0; i < diff.size(); ++i) {
            for (int bit : {0, 5}) {
                Bytes damaged = diff;
                damaged[i] ^= static_cast<uint8_t>(1 << bit);
                Bytes rebuilt;
                int code = Decode(oldData, damaged, &rebuilt);
                EXPECT_TRUE(code != 0 || rebuilt == newData) << "byte " << i << " bit " << bit;
            }
            Bytes rebuilt;
            EXPECT_NE(Decode(oldData, Slice(diff, 0, i), &rebuilt), 0) << "truncated to " << i;
        }
    }
}

}  // namespace
}  // namespace OrbPatchTest
