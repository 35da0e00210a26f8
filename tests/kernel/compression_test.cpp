#include "kernel/buffers/compression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "kernel/buffers/forwarding_buffer.h"

namespace ZephUtil {
namespace {

using Bytes = std::vector<uint8_t>;

// Compressible but not trivial: words from a small vocabulary in a pseudo-random order.
Bytes SampleData(size_t size, uint32_t seed = 1) {
    static const char* const kWords[] = {"track ",    "signal ", "train\n", "0x3F ",
                                         "station, ", "velmor ", "patch. ", "\x01\x02\x7f"};
    Bytes data;
    data.reserve(size + 16);
    uint32_t state = seed;
    while (data.size() < size) {
        state = state * 1103515245u + 12345u;
        for (const char* c = kWords[(state >> 16) % 8]; *c; ++c)
            data.push_back(*c);
    }
    data.resize(size);
    return data;
}

Bytes ZlibCompress(const Bytes& data) {
    uLongf length = compressBound(data.size());
    Bytes out(length);
    EXPECT_EQ(compress(out.data(), &length, data.data(), data.size()), Z_OK);
    out.resize(length);
    return out;
}

void PutUint32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A stream of the format built by hand, one block per entry, with the lengths as given.
struct RawBlock {
    Bytes compressed;
    uint32_t declaredLength;
};
Bytes Stream(uint32_t count, const std::vector<RawBlock>& blocks) {
    Bytes out;
    PutUint32(out, count);
    for (const RawBlock& block : blocks) {
        PutUint32(out, static_cast<uint32_t>(block.compressed.size()));
        PutUint32(out, block.declaredLength);
        out.insert(out.end(), block.compressed.begin(), block.compressed.end());
    }
    return out;
}

RawBlock GoodBlock(const Bytes& data) {
    return {ZlibCompress(data), static_cast<uint32_t>(data.size())};
}

int Decompress(const Bytes& stream, ZephDataBufferMemoryDynamic* out) {
    ZephDataBufferMemoryStatic source(const_cast<uint8_t*>(stream.data()),
                                      static_cast<uint32_t>(stream.size()));
    return DecompressData(*out, source);
}

TEST(CompressionTest, StreamLayoutIsByteForByteAfterWhatTheDestinationHeld) {
    // Over one staging piece, so the piecewise deflate must match compress() of the whole.
    Bytes data = SampleData(1300 * 1000);
    ZephDataBufferMemoryStatic source(data.data(), static_cast<uint32_t>(data.size()));
    ZephDataBufferMemoryDynamic destination;
    ASSERT_EQ(destination.Write("pre", 3), kBufOk);
    ASSERT_EQ(CompressData(destination, source), kBufOk);

    Bytes expected = {'p', 'r', 'e'};
    Bytes stream = Stream(1, {GoodBlock(data)});
    expected.insert(expected.end(), stream.begin(), stream.end());
    EXPECT_EQ(destination.Bytes(), expected);
    EXPECT_EQ(destination.GetPosition(), expected.size());

    ZephDataBufferMemoryDynamic back;
    EXPECT_EQ(Decompress(stream, &back), kBufOk);
    EXPECT_EQ(back.Bytes(), data);
}

TEST(CompressionTest, CompressesFromTheSourcePosition) {
    Bytes data = SampleData(1000);
    ZephDataBufferMemoryStatic source(data.data(), 1000);
    ASSERT_EQ(source.Seek(400), kBufOk);
    ZephDataBufferMemoryDynamic destination;
    ASSERT_EQ(CompressData(destination, source), kBufOk);
    EXPECT_EQ(destination.Bytes(), Stream(1, {GoodBlock(Bytes(data.begin() + 400, data.end()))}));
}

TEST(CompressionTest, EmptySourceIsACountOfZeroAndDecodesToNothing) {
    ZephDataBufferMemoryDynamic empty;
    ZephDataBufferMemoryDynamic destination;
    EXPECT_EQ(CompressData(destination, empty), kBufOk);
    EXPECT_EQ(destination.Bytes(), Bytes(4, 0));
    ZephDataBufferMemoryDynamic back;
    EXPECT_EQ(Decompress(destination.Bytes(), &back), kBufOk);
    EXPECT_EQ(back.GetSize(), 0u);
}

// A destination that cannot go back to patch in the count, as a socket.
class ForwardOnly : public ForwardingBuffer {
public:
    using ForwardingBuffer::ForwardingBuffer;
    int Seek(uint64_t) override { return kBufNotAllowed; }
};

TEST(CompressionTest, ACountThatCannotBeWrittenBackFails) {
    ZephDataBufferMemoryDynamic written;
    ForwardOnly destination(&written);
    ZephDataBufferMemoryDynamic empty;
    EXPECT_EQ(CompressData(destination, empty), kBufNotAllowed);
    Bytes data = SampleData(1000);
    ZephDataBufferMemoryStatic source(data.data(), 1000);
    EXPECT_EQ(CompressData(destination, source), kBufNotAllowed);
}

TEST(DecompressionTest, WrongDeclaredLengthStopsAtThatBlock) {
    Bytes first = SampleData(100, 1);
    Bytes second = SampleData(100, 2);
    Bytes third = SampleData(100, 3);
    RawBlock tooLong = {ZlibCompress(second), 101};
    ZephDataBufferMemoryDynamic out;
    EXPECT_EQ(Decompress(Stream(3, {GoodBlock(first), tooLong, GoodBlock(third)}), &out),
              kBufOutOfRange);
    EXPECT_EQ(out.Bytes(), first);  // nothing of the bad block, nothing after it

    RawBlock tooShort = {ZlibCompress(second), 99};
    ZephDataBufferMemoryDynamic out2;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Decompress(Stream(2, {GoodBlock(first), tooShort}), &out2), kBufNoMemory);
    std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("ZephUtil::DecompressData> err -5\n"), std::string::npos) << log;
    EXPECT_NE(log.find("srcLen=" + std::to_string(tooShort.compressed.size()) +
                       ", dstLen=99, "
                       "actualDstLen=99\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(out2.Bytes(), first);
}

TEST(DecompressionTest, HostileHeadersAreRefusedWithoutDecodingOrAllocating) {
    Bytes data = SampleData(5000);
    RawBlock good = GoodBlock(data);
    Bytes truncated = Stream(1, {good});
    truncated.resize(truncated.size() - 10);
    Bytes overLimit = Stream(1, {{good.compressed, kMaxCompressedBlock + 1}});
    Bytes hugeCompressed = Stream(1, {good});
    hugeCompressed[4] = hugeCompressed[5] = hugeCompressed[6] = hugeCompressed[7] = 0xFF;
    Bytes noHeader = {1, 0, 0, 0, 9, 0};
    for (const Bytes* stream : {&truncated, &overLimit, &hugeCompressed, &noHeader}) {
        ZephDataBufferMemoryDynamic out;
        testing::internal::CaptureStdout();
        EXPECT_EQ(Decompress(*stream, &out), kBufOutOfRange);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.GetSize(), 0u);
    }
}

TEST(DecompressionTest, CountOfFourBillionEndsWithTheData) {
    Bytes data = SampleData(300);
    ZephDataBufferMemoryDynamic out;
    EXPECT_EQ(Decompress(Stream(0xFFFFFFFFu, {GoodBlock(data)}), &out), kBufOutOfRange);
    EXPECT_EQ(out.Bytes(), data);
}

TEST(DecompressionTest, BlockClaimingTheLimitButHoldingLittleWritesNothing) {
    Bytes data = SampleData(2000);
    ZephDataBufferMemoryDynamic out;
    EXPECT_EQ(Decompress(Stream(1, {{ZlibCompress(data), kMaxCompressedBlock}}), &out),
              kBufOutOfRange);
    EXPECT_EQ(out.GetSize(), 0u);
}

TEST(DecompressionTest, CorruptOrCutZlibDataIsAZlibError) {
    Bytes data = SampleData(4000);
    RawBlock corrupt = GoodBlock(data);
    corrupt.compressed[corrupt.compressed.size() / 2] ^= 0x55;
    corrupt.compressed.back() ^= 0x55;  // the checksum too, should the flip decode
    RawBlock cut = GoodBlock(data);
    cut.compressed.resize(cut.compressed.size() / 2);
    RawBlock empty = {{}, 10};
    for (const RawBlock& block : {corrupt, cut, empty}) {
        ZephDataBufferMemoryDynamic out;
        testing::internal::CaptureStdout();
        EXPECT_EQ(Decompress(Stream(1, {block}), &out), kBufNoMemory);
        std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find("ZephUtil::DecompressData> err "), std::string::npos);
        EXPECT_EQ(out.GetSize(), 0u);
    }
}

TEST(DecompressionTest, LargeBlockDecodingMoreThanDeclaredWritesOnlyATruePrefix) {
    // Over one staging piece: earlier pieces go out before the excess shows.
    Bytes data = SampleData(1500 * 1000);
    uint32_t declared = 1100 * 1000;
    ZephDataBufferMemoryDynamic out;
    testing::internal::CaptureStdout();
    EXPECT_EQ(Decompress(Stream(1, {{ZlibCompress(data), declared}}), &out), kBufNoMemory);
    testing::internal::GetCapturedStdout();
    ASSERT_LE(out.GetSize(), declared);
    EXPECT_TRUE(std::equal(out.Bytes().begin(), out.Bytes().end(), data.begin()));
}

TEST(DecompressionTest, TrailingBytesInsideABlockAreSkipped) {
    Bytes first = SampleData(700, 4);
    Bytes second = SampleData(800, 5);
    RawBlock padded = GoodBlock(first);
    padded.compressed.insert(padded.compressed.end(), {1, 2, 3});
    ZephDataBufferMemoryDynamic out;
    EXPECT_EQ(Decompress(Stream(2, {padded, GoodBlock(second)}), &out), kBufOk);
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(out.Bytes(), expected);
}

TEST(DecompressionTest, FullDestinationIsItsWriteResult) {
    Bytes data = SampleData(100);
    Bytes stream = Stream(1, {GoodBlock(data)});
    uint8_t small[10];
    ZephDataBufferMemoryStatic out(small, sizeof small);
    ZephDataBufferMemoryStatic source(stream.data(), static_cast<uint32_t>(stream.size()));
    EXPECT_EQ(DecompressData(out, source), kBufNoMemory);
}

}  // namespace
}  // namespace ZephUtil
