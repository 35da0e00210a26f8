#include "kernel/buffers/data_buffer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/test_folder.h"

namespace ZephUtil {
namespace {

class FileBufferTest : public testing::Test {
protected:
    std::string Path(const std::string& name) { return m_temp.Path(name); }
    std::string MakeFile(const std::string& name, const std::string& contents) {
        std::ofstream(Path(name), std::ios::binary) << contents;
        return Path(name);
    }
    std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    orvik_test::TestFolder m_temp;
    const std::string m_dir = m_temp.Path();
};

TEST_F(FileBufferTest, ReadWriteModeKeepsDataAndPositionAcrossDirectionChanges) {
    std::string path = MakeFile("rw.bin", "0123456789");
    ZephDataBufferFile file(path, kFileReadWrite);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetSize(), 10u);
    EXPECT_EQ(file.Write("ab", 2), kBufOk);
    char got[16] = {};
    EXPECT_EQ(file.Read(got, 3), kBufOk);
    EXPECT_EQ(std::string(got, 3), "234");
    EXPECT_EQ(file.GetPosition(), 5u);
    EXPECT_EQ(file.Write("XY", 2), kBufOk);
    EXPECT_EQ(file.Read(got, 1), kBufOk);
    EXPECT_EQ(got[0], '7');
    EXPECT_EQ(file.Write("tail", 4), kBufOk);  // runs past the old end
    EXPECT_EQ(file.GetPosition(), 12u);
    EXPECT_EQ(file.GetSize(), 12u);
    EXPECT_EQ(file.Seek(0), kBufOk);
    EXPECT_EQ(file.Read(got, 12), kBufOk);
    EXPECT_EQ(std::string(got, 12), "ab234XY7tail");
    EXPECT_TRUE(file.Commit());
    EXPECT_EQ(Contents(path), "ab234XY7tail");
}

TEST_F(FileBufferTest, AccessModesAllowOnlyTheirDirection) {
    std::string path = MakeFile("modes.bin", "abc");
    char byte;
    {
        ZephDataBufferFile reader(path, kFileRead);
        EXPECT_EQ(reader.Write("x", 1), kBufNotAllowed);
        EXPECT_EQ(reader.Read(&byte, 1), kBufOk);
    }
    {
        ZephDataBufferFile inPlace(path, kFileAppend);
        EXPECT_EQ(inPlace.GetSize(), 3u);  // opened in place, not truncated
        EXPECT_EQ(inPlace.Read(&byte, 1), kBufNotAllowed);
        EXPECT_EQ(inPlace.Write("X", 1), kBufOk);
    }
    EXPECT_EQ(Contents(path), "Xbc");
    {
        ZephDataBufferFile writer(path, kFileWrite);
        EXPECT_EQ(writer.GetSize(), 0u);
        EXPECT_EQ(writer.Read(&byte, 1), kBufNotAllowed);
    }
    EXPECT_EQ(Contents(path), "");
}

TEST_F(FileBufferTest, OpeningMissingFiles) {
    EXPECT_FALSE(ZephDataBufferFile(Path("none"), kFileRead).IsOpen());
    EXPECT_FALSE(ZephDataBufferFile(Path("none"), kFileReadWrite).IsOpen());
    EXPECT_FALSE(std::filesystem::exists(Path("none")));
    EXPECT_TRUE(ZephDataBufferFile(Path("made2"), kFileAppend).IsOpen());
    EXPECT_TRUE(std::filesystem::exists(Path("made2")));

    ZephDataBufferFile closed(Path("none"), kFileRead);
    char byte;
    EXPECT_EQ(closed.Read(&byte, 1), kBufNotOpen);
    EXPECT_EQ(closed.Write(&byte, 1), kBufNotOpen);
    EXPECT_EQ(closed.Seek(0), kBufNotOpen);
    EXPECT_EQ(closed.SetSize(0), kBufNotOpen);
}

TEST_F(FileBufferTest, UnknownModeLeavesTheBufferClosedAndSaysSo) {
    testing::internal::CaptureStdout();
    ZephDataBufferFile file(MakeFile("x", "x"), 7);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_NE(out.find("ZephDataBufferFile> unknown access mode 7\n"), std::string::npos);
}

TEST_F(FileBufferTest, BackslashesInTheNameAreSeparators) {
    std::filesystem::create_directory(Path("sub"));
    MakeFile("sub/f.txt", "hi");
    ZephDataBufferFile file(m_dir + "\\sub\\f.txt", kFileRead);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.GetSize(), 2u);
}

TEST_F(FileBufferTest, ShortReadIsAnIoErrorAndAdvancesByWhatWasRead) {
    ZephDataBufferFile file(MakeFile("short", "abcd"), kFileRead);
    char got[8];
    EXPECT_EQ(file.Seek(2), kBufOk);
    EXPECT_EQ(file.Read(got, 8), kBufIoError);
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(std::string(got, 2), "cd");
}

TEST_F(FileBufferTest, SeekPastTheEndAndSetSize) {
    std::string path = Path("sized");
    ZephDataBufferFile file(path, kFileWrite);
    EXPECT_EQ(file.Seek(4), kBufOk);
    EXPECT_EQ(file.Write("z", 1), kBufOk);
    EXPECT_EQ(file.GetSize(), 5u);
    EXPECT_EQ(file.SetSize(2), kBufOk);  // position 5 is pulled back to 2
    EXPECT_EQ(file.GetPosition(), 2u);
    EXPECT_EQ(file.Write("ab", 2), kBufOk);
    file.FlushBuffer();
    EXPECT_EQ(Contents(path), std::string("\0\0ab", 4));

    ZephDataBufferFile reader(path, kFileRead);
    EXPECT_EQ(reader.SetSize(0), kBufIoError);
    EXPECT_EQ(reader.GetSize(), 4u);
}

TEST_F(FileBufferTest, SizesAndPositionsBeyondFourGiB) {
    const uint64_t big = (5ull << 30) + 3;
    std::string path = Path("sparse");
    {
        ZephDataBufferFile file(path, kFileWrite);
        ASSERT_EQ(file.SetSize(big - 4), kBufOk);  // sparse: no data blocks
        EXPECT_EQ(file.Seek(big - 4), kBufOk);
        EXPECT_EQ(file.Write("end!", 4), kBufOk);
        EXPECT_EQ(file.GetSize(), big);
    }
    ZephDataBufferFile file(path, kFileRead);
    EXPECT_EQ(file.GetSize(), big);
    char got[4];
    EXPECT_EQ(file.Seek(big - 4), kBufOk);
    EXPECT_EQ(file.Read(got, 4), kBufOk);
    EXPECT_EQ(std::string(got, 4), "end!");
    EXPECT_EQ(file.GetPosition(), big);
}

TEST(MemoryStaticBufferTest, StopsAtItsSize) {
    char block[4] = {'a', 'b', 'c', 'd'};
    ZephDataBufferMemoryStatic buffer(block, 4);
    EXPECT_EQ(buffer.Seek(10), kBufOutOfRange);
    EXPECT_EQ(buffer.GetPosition(), 4u);
    EXPECT_EQ(buffer.SetSize(8), kBufNotAllowed);

    EXPECT_EQ(buffer.Seek(2), kBufOk);
    EXPECT_EQ(buffer.Write("XYZ", 3), kBufNoMemory);  // two fit
    EXPECT_EQ(buffer.GetPosition(), 4u);
    EXPECT_EQ(std::string(block, 4), "abXY");

    char got[8] = {};
    EXPECT_EQ(buffer.Seek(1), kBufOk);
    EXPECT_EQ(buffer.Read(got, 8), kBufOutOfRange);
    EXPECT_EQ(std::string(got), "bXY");
    EXPECT_EQ(buffer.GetPosition(), 4u);
}

TEST(MemoryStaticBufferTest, OwnedCopies) {
    ZephDataBufferMemoryStatic text = ZephDataBufferMemoryStatic::CopyOf(std::string("hello"));
    EXPECT_EQ(text.GetSize(), 5u);
    EXPECT_EQ(text.GetPosition(), 0u);
    ZephDataBufferMemoryStatic moved(std::move(text));
    EXPECT_EQ(text.GetSize(), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved.Data()), 5), "hello");

    ZephDataBufferMemoryDynamic source;
    ASSERT_EQ(source.Write("0123456", 7), kBufOk);
    ASSERT_EQ(source.Seek(3), kBufOk);
    ZephDataBufferMemoryStatic rest = ZephDataBufferMemoryStatic::CopyRestOf(source);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rest.Data()), rest.GetSize()), "3456");
    EXPECT_EQ(source.GetPosition(), 7u);
}

TEST_F(FileBufferTest, CopyRestOfAFailingReadIsEmpty) {
    ZephDataBufferFile writeOnly(MakeFile("w", "abc"), kFileAppend);
    EXPECT_EQ(ZephDataBufferMemoryStatic::CopyRestOf(writeOnly).GetSize(), 0u);
}

TEST(MemoryDynamicBufferTest, GrowsOnWriteAndStopsReadsAtItsEnd) {
    ZephDataBufferMemoryDynamic buffer;
    EXPECT_EQ(buffer.Write("abc", 3), kBufOk);
    EXPECT_EQ(buffer.Seek(9), kBufOutOfRange);
    EXPECT_EQ(buffer.GetPosition(), 3u);
    EXPECT_EQ(buffer.SetSize(6), kBufOk);  // new bytes are zero
    EXPECT_EQ(buffer.Seek(1), kBufOk);
    char got[8] = {'?', '?', '?', '?', '?', '?', '?', '?'};
    EXPECT_EQ(buffer.Read(got, 8), kBufOutOfRange);
    EXPECT_EQ(std::string(got, 5), std::string("bc\0\0\0", 5));
    EXPECT_EQ(buffer.GetPosition(), 6u);
    EXPECT_EQ(buffer.SetSize(2), kBufOk);
    EXPECT_EQ(buffer.GetPosition(), 2u);
    EXPECT_EQ(buffer.Write("XYZ", 3), kBufOk);
    EXPECT_EQ(std::string(buffer.Bytes().begin(), buffer.Bytes().end()), "abXYZ");
}

TEST(MemoryDynamicBufferTest, ImpossibleSizeIsNoMemoryNotAnException) {
    ZephDataBufferMemoryDynamic buffer;
    EXPECT_EQ(buffer.SetSize(~0ull), kBufNoMemory);
    EXPECT_EQ(buffer.GetSize(), 0u);
}

}  // namespace
}  // namespace ZephUtil
