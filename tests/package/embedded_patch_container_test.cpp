#include "package/embedded_patch_container.h"

#include "container_test_support.h"

namespace ZephPatch {
namespace {

using namespace ContainerTest;

const Bytes kArchiveA = {2, 0, 0, 0, 'a', 'a', 'a'};
const Bytes kArchiveB = {2, 0, 0, 0, 'b'};

class EmbeddedPatchContainerTest : public ::testing::Test {
protected:
    std::string Write(const Bytes& bytes) {
        WriteBytes(m_exe, bytes);
        return m_exe;
    }

    TestFolder m_folder;
    std::string m_exe = m_folder.Path("installer.exe");
    EmbeddedPatchContainer m_container;
};

TEST_F(EmbeddedPatchContainerTest, HeaderIsFoundOnlyAtAMultipleOf4096) {
    const std::vector<PatchRecord> patches = {{"46957", "48249", kArchiveA}};
    ASSERT_EQ(m_container.OpenContainer(Write(ContainerFile(5000, 8192, patches))),
              kContainerOpened);
    EXPECT_EQ(m_container.HeaderOffset(), 8192u);
    EXPECT_EQ(m_container.ListFromBuilds(), std::vector<std::string>{"46957"});

    EXPECT_EQ(m_container.OpenContainer(Write(ContainerFile(5000, 8200, patches))),
              kContainerAbsent);
    EXPECT_FALSE(m_container.IsOpen());
    EXPECT_TRUE(m_container.ListFromBuilds().empty());
}

TEST_F(EmbeddedPatchContainerTest, FileChangedAfterEmbeddingFailsTheSizeTest) {
    const Bytes file = ContainerFile(100, 4096, {{"46957", "48249", kArchiveA}});
    Bytes extended = file;
    extended.push_back(0);
    EXPECT_EQ(m_container.OpenContainer(Write(extended)), kContainerUnreadable);
    EXPECT_EQ(m_container.OpenContainer(Write(Bytes(file.begin(), file.end() - 1))),
              kContainerUnreadable);
    EXPECT_EQ(m_container.OpenContainer(m_folder.Path("missing.exe")), kContainerUnreadable);
}

TEST_F(EmbeddedPatchContainerTest, StrayMagicInTheProgramDoesNotHideTheContainer) {
    Bytes file = ContainerFile(10000, 12288, {{"46957", "48249", kArchiveA}});
    const char magic[] = "Z0e1p2h3";
    std::copy(magic, magic + 8, file.begin() + 4096);
    ASSERT_EQ(m_container.OpenContainer(Write(file)), kContainerOpened);
    EXPECT_EQ(m_container.HeaderOffset(), 12288u);
}

TEST_F(EmbeddedPatchContainerTest, BuildTextsUseTheirFirst31Characters) {
    const std::string from32 = "1234567890123456789012345678901X";
    const std::string to32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdeY";
    ASSERT_EQ(m_container.OpenContainer(Write(ContainerFile(0, 0, {{from32, to32, kArchiveA}}))),
              kContainerOpened);
    EXPECT_EQ(m_container.ListFromBuilds(), std::vector<std::string>{from32.substr(0, 31)});
    EXPECT_EQ(m_container.LookupTarget(from32.substr(0, 31)), to32.substr(0, 31));
    EXPECT_EQ(m_container.LookupTarget(from32), "");
}

// Builds become part of a temporary file's name: one that names a folder is passed over, as
// the catalogue drops such a record.
TEST_F(EmbeddedPatchContainerTest, RecordsWhoseBuildsNameAFolderArePassedOver) {
    ASSERT_EQ(m_container.OpenContainer(
                  Write(ContainerFile(300, 4096,
                                      {{"46957", "x/../../../elsewhere/escaped", kArchiveA},
                                       {"a\\..\\b", "48249", kArchiveA},
                                       {"46957", "48249", kArchiveB}}))),
              kContainerOpened);
    EXPECT_EQ(m_container.ListFromBuilds(), std::vector<std::string>{"46957"});
    EXPECT_EQ(m_container.LookupTarget("46957"), "48249");
    EXPECT_EQ(m_container.LookupTarget("a\\..\\b"), "");
    EXPECT_EQ(m_container.ExtractPatch("a\\..\\b", m_folder.Path("out.zip")), kExtractNoRecord);
}

TEST_F(EmbeddedPatchContainerTest, DuplicateSourceBuildUsesTheFirstRecord) {
    ASSERT_EQ(m_container.OpenContainer(Write(ContainerFile(
                  300, 4096, {{"46957", "48249", kArchiveA}, {"46957", "50000", kArchiveB}}))),
              kContainerOpened);
    EXPECT_EQ(m_container.LookupTarget("46957"), "48249");
    ASSERT_EQ(m_container.ExtractPatch("46957", m_folder.Path("out.zip")), kExtractOk);
    EXPECT_EQ(ReadBytes(m_folder.Path("out.zip")), kArchiveA);
}

TEST_F(EmbeddedPatchContainerTest, ExtractPatchResults) {
    const std::string out = m_folder.Path("out.zip");
    EXPECT_EQ(m_container.ExtractPatch("46957", out), kExtractNotOpen);
    ASSERT_EQ(m_container.OpenContainer(Write(ContainerFile(
                  300, 4096, {{"46957", "48249", kArchiveA}, {"48249", "50000", kArchiveB}}))),
              kContainerOpened);
    EXPECT_EQ(m_container.ExtractPatch("4695", out), kExtractNoRecord);
    EXPECT_EQ(m_container.ExtractPatch("48249", m_folder.Path("no/such/folder.zip")),
              kExtractCannotCreate);
    ASSERT_EQ(m_container.ExtractPatch("48249", out), kExtractOk);
    EXPECT_EQ(ReadBytes(out), kArchiveB);
}

TEST_F(EmbeddedPatchContainerTest, RecordsPointingOutsideTheFileAreRefused) {
    const Bytes good = ContainerFile(300, 4096, {{"46957", "48249", kArchiveA}});
    const size_t entry = good.size() - 80;
    struct Lie {
        size_t at;
        uint64_t value;
    };
    const Lie lies[] = {
        {entry + 64, good.size() + 1},  // dataOffset past the end
        {entry + 72, good.size()},      // dataLength past the end
        {entry + 72, UINT64_MAX},       // offset + length wraps around
        {4096 + 16, good.size() - 40},  // directory runs past the end
        {4096 + 12, 0x7fffffff},        // entryCount far beyond the file
    };
    for (const auto& lie : lies) {
        Bytes file = good;
        SetLe(file, lie.at, lie.value, lie.at == 4096 + 12 ? 4 : 8);
        EXPECT_EQ(m_container.OpenContainer(Write(file)), kContainerUnreadable) << lie.at;
    }
}

TEST_F(EmbeddedPatchContainerTest, ExtractionFromAFileCutShortFailsAndLeavesNoOutput) {
    const Bytes archive = PatternBytes(300000, 3);
    ASSERT_EQ(m_container.OpenContainer(Write(ContainerFile(300, 4096, {{"1", "2", archive}}))),
              kContainerOpened);
    fs::resize_file(m_exe, 4096 + 28 + 1000);
    EXPECT_NE(m_container.ExtractPatch("1", m_folder.Path("out.zip")), kExtractOk);
    EXPECT_FALSE(fs::exists(m_folder.Path("out.zip")));
}

}  // namespace
}  // namespace ZephPatch
