// The parts of the difference format that other files depend on byte for byte: the hash, the
// header, and the guarantee that a damaged difference never decodes to a wrong file.

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

TEST(Xxh64, MatchesKnownValueAndZstdChecksum) {
    EXPECT_EQ(Xxh64({}), 0xEF46DB3751D8E999ULL);
    Bytes data = RandomBytes(5000, 7);
    for (size_t size : {1, 3, 4, 7, 8, 15, 31, 32, 33, 63, 64, 100, 1000, 4099}) {
        Bytes part(data.begin(), data.begin() + static_cast<long>(size));
        EXPECT_EQ(static_cast<uint32_t>(Xxh64(part)), ZstdFrameChecksum(part)) << size;
    }
    EXPECT_NE(Xxh64(data, 0), Xxh64(data, 1));
}

TEST(PatchHeader, RoundTripsAndRejectsAnyChangedByte) {
    PatchHeader header{27, 0x0102030405060708ULL, 42, 0xAABBCCDDEEFF0011ULL, 7};
    auto bytes = EncodeHeader(header);
    ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "ORBPATCH");
    EXPECT_EQ(bytes[16], 0x08);  // little-endian sizes
    EXPECT_EQ(bytes[23], 0x01);

    PatchHeader read;
    std::string why;
    ASSERT_TRUE(DecodeHeader(bytes, &read, &why)) << why;
    EXPECT_EQ(read.windowLog, 27u);
    EXPECT_EQ(read.oldSize, header.oldSize);
    EXPECT_EQ(read.newSize, 42u);
    EXPECT_EQ(read.oldHash, header.oldHash);
    EXPECT_EQ(read.newHash, 7u);

    for (size_t i = 0; i < bytes.size(); ++i) {
        auto damaged = bytes;
        damaged[i] ^= 0x10;
        EXPECT_FALSE(DecodeHeader(damaged, &read, &why)) << "byte " << i;
    }
    EXPECT_FALSE(DecodeHeader(std::span(bytes).first(PATCH_HEADER_SIZE - 1), &read, &why));
}

// Any single flipped bit or truncation either fails or still yields exactly NEW: never another
// file reported as success.
TEST(DamagedDiff, NeverDecodesToAWrongFile) {
    Bytes oldData = RandomBytes(20000, 1);
    Bytes newData = oldData;
    newData.insert(newData.begin() + 5000, 300, 'x');
    newData[15000] ^= 0xFF;
    DiffBytes diff;
    ASSERT_TRUE(EncodeDiff(oldData, newData, {}, &diff).ok());

    auto decodes_to_wrong_file = [&](std::span<const uint8_t> damaged) {
        PatchHeader header;
        if (!CheckDiff(oldData, damaged, &header).ok()) {
            return false;
        }
        Bytes out(header.newSize);
        return DecodeDiff(oldData, damaged, header, out).ok() && out != newData;
    };
    Bytes bytes(diff.bytes().begin(), diff.bytes().end());
    for (size_t i = 0; i < bytes.size(); ++i) {
        for (int bit : {0, 5}) {
            Bytes damaged = bytes;
            damaged[i] ^= static_cast<uint8_t>(1 << bit);
            EXPECT_FALSE(decodes_to_wrong_file(damaged)) << "byte " << i << " bit " << bit;
        }
        PatchHeader header;
        EXPECT_FALSE(CheckDiff(oldData, std::span(bytes).first(i), &header).ok())
            << "truncated to " << i;
    }
}

}  // namespace
}  // namespace OrbPatchTest
