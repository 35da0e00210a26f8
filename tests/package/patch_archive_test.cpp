#include "package/patch_archive.h"

#include "container_test_support.h"

namespace ZephPatch {
namespace {

using namespace ContainerTest;

class PatchArchiveTest : public ::testing::Test {
protected:
    int Unpack(const Bytes& archive, uint64_t maxBytes = UINT64_MAX) {
        WriteBytes(m_archive, archive);
        fs::create_directories(m_target);
        return UnpackArchive(m_archive, m_target, maxBytes);
    }

    TestFolder m_folder;
    std::string m_archive = m_folder.Path("patch.zip");
    std::string m_target = m_folder.Path("target");
};

TEST_F(PatchArchiveTest, Version2KindByteDecidesFilesAndFolders) {
    const Bytes big = PatternBytes(1000000, 1);
    ArchiveBytes archive(2);
    archive.Folder(".\\").Folder(".\\data").Folder(".\\data\\maps.d").File(".\\data\\README", big);
    archive.File(".\\empty.txt", {});
    archive.Record(".\\data\\maps.d\\big.bin", 1).Raw(BlockSequence(big, 300000));
    ASSERT_EQ(Unpack(archive.Get()), kUnpackOk);
    EXPECT_EQ(ReadBytes(m_target + "/data/README"), big);
    EXPECT_EQ(ReadBytes(m_target + "/data/maps.d/big.bin"), big);
    EXPECT_TRUE(fs::is_regular_file(m_target + "/empty.txt"));
    EXPECT_EQ(fs::file_size(m_target + "/empty.txt"), 0u);
}

TEST_F(PatchArchiveTest, Version1TellsFilesByTheirExtension) {
    ArchiveBytes archive(1);
    archive.Record(".\\data", 9).Record(".\\data\\a.txt", 9).Raw(BlockSequence({'h', 'i'}));
    ASSERT_EQ(Unpack(archive.Get()), kUnpackOk);
    EXPECT_TRUE(fs::is_directory(m_target + "/data"));
    EXPECT_EQ(ReadBytes(m_target + "/data/a.txt"), (Bytes{'h', 'i'}));
}

TEST_F(PatchArchiveTest, NamesThatLeaveTheTargetAreRefusedBeforeAnythingIsWritten) {
    const std::string outside = m_folder.Path("evil.txt");
    const std::string names[] = {"..\\evil.txt",   ".\\data\\..\\..\\evil.txt",
                                 "\\evil.txt",     outside,
                                 "C:\\evil.txt",   "C:evil.txt",
                                 ".\\..\\evil.txt"};
    for (const auto& name : names) {
        for (uint8_t kind : {0, 1}) {
            ArchiveBytes archive(2);
            archive.Record(name, kind);
            if (kind == 1)
                archive.Raw(BlockSequence({'x'}));
            EXPECT_EQ(Unpack(archive.Get()), kUnpackUnsafeName) << name;
            EXPECT_FALSE(fs::exists(outside)) << name;
            EXPECT_FALSE(fs::exists(m_folder.Path("evil"))) << name;
        }
    }
}

TEST_F(PatchArchiveTest, DamagedArchivesFail) {
    EXPECT_EQ(UnpackArchive(m_folder.Path("missing.zip"), m_target), kUnpackCannotOpen);
    EXPECT_EQ(Unpack({}), kUnpackBadVersion);
    EXPECT_EQ(Unpack({3, 0, 0, 0}), kUnpackBadVersion);

    const Bytes content = PatternBytes(5000, 2);
    const Bytes header = ArchiveBytes(2).Record(".\\a.bin", 1).Get();
    const Bytes data = BlockSequence(content);
    auto withData = [&](const Bytes& changed) {
        return ArchiveBytes(2).Record(".\\a.bin", 1).Raw(changed).Get();
    };
    ASSERT_EQ(Unpack(withData(data)), kUnpackOk);

    std::vector<Bytes> damaged;
    // Every cut through the headers and block lengths, then a sample through the data.
    for (size_t cut = 5; cut < header.size() + data.size();
         cut += cut < header.size() + 12 ? 1 : 97) {
        Bytes whole = withData(data);
        whole.resize(cut);
        damaged.push_back(whole);
    }
    Bytes lie = data;
    SetLe(lie, 8, content.size() + 1, 4);  // uncompressed length too large
    damaged.push_back(withData(lie));
    SetLe(lie, 8, content.size() - 1, 4);  // too small
    damaged.push_back(withData(lie));
    lie = data;
    SetLe(lie, 4, 1u << 30, 4);  // compressed length beyond the end
    damaged.push_back(withData(lie));
    lie = data;
    SetLe(lie, 0, 0xFFFFFFFF, 4);  // absurd block count
    damaged.push_back(withData(lie));
    lie = data;
    lie[14] ^= 0xFF;  // bytes inside the zlib stream
    damaged.push_back(withData(lie));
    damaged.push_back(
        ArchiveBytes(2).Raw(BlockSequence({200, 0, 0, 0, 'a', 0})).Get());  // name length lies
    damaged.push_back(ArchiveBytes(2).Record(".\\a.bin", 7).Get());         // unknown kind
    for (size_t i = 0; i < damaged.size(); ++i) {
        const int result = Unpack(damaged[i]);
        EXPECT_TRUE(result == kUnpackDamaged || result == kUnpackBadVersion) << i << ": " << result;
    }
}

// Files are decoded side by side, but the outcome is that of one record after the other: a
// name given twice ends with its last content, the size limit counts in record order, and the
// first fault in record order is the one reported.
TEST_F(PatchArchiveTest, FilesUnpackSideBySideAsIfOneAfterTheOther) {
    ArchiveBytes archive(2);
    std::vector<Bytes> contents;
    for (uint32_t i = 0; i < 12; ++i) {
        contents.push_back(PatternBytes(200000 + i, i));
        archive.File(".\\f" + std::to_string(i) + ".bin", contents.back());
    }
    const Bytes last = PatternBytes(1000, 99);
    archive.File(".\\f0.bin", last);
    const Bytes whole = archive.Get();
    const uint64_t total = 12 * 200000 + 66 + last.size();
    ASSERT_EQ(Unpack(whole, total), kUnpackOk);
    EXPECT_EQ(ReadBytes(m_target + "/f0.bin"), last);
    for (size_t i = 1; i < contents.size(); ++i)
        EXPECT_EQ(ReadBytes(m_target + "/f" + std::to_string(i) + ".bin"), contents[i]) << i;
    EXPECT_EQ(Unpack(whole, total - 1), kUnpackTooLarge);

    Bytes data = BlockSequence(contents[2]);
    data[40] ^= 0xFF;
    const Bytes damagedThird = ArchiveBytes(2)
                                   .File(".\\a.bin", contents[0])
                                   .File(".\\b.bin", contents[1])
                                   .Record(".\\c.bin", 1)
                                   .Raw(data)
                                   .File(".\\d.bin", contents[3])
                                   .Record("..\\evil.txt", 1)
                                   .Get();
    EXPECT_EQ(Unpack(damagedThird), kUnpackDamaged);
}

TEST_F(PatchArchiveTest, FileWhoseFolderIsMissingCannotBeWritten) {
    ArchiveBytes archive(2);
    archive.File(".\\nowhere\\a.bin", {'x'});
    EXPECT_EQ(Unpack(archive.Get()), kUnpackWriteFailed);
}

}  // namespace
}  // namespace ZephPatch
