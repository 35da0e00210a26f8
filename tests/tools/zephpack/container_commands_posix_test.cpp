// zephpack embed and list, and the reader extracting what embed wrote.
#include "package/embedded_patch_container.h"
#include "tests/tools/zephpack/zephpack_runner.h"

namespace {

using namespace ContainerTest;

class ContainerCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(m_archiveA, ArchiveBytes(2).File(".\\a.bin", PatternBytes(70000, 1)).Get());
        WriteBytes(m_archiveB, ArchiveBytes(1).File(".\\b.bin", PatternBytes(100, 2)).Get());
        WriteFile(m_notArchive, "hello");
    }

    int Embed(size_t installerSize, const std::string& patches) {
        WriteBytes(m_installer, PatternBytes(installerSize, 9));
        return RunCommand(
            Zephpack() + " embed " + Quote(m_installer) + " " + Quote(m_out) + " " + patches,
            &m_output);
    }

    std::string Patch(const std::string& from, const std::string& to, const std::string& archive) {
        return "--patch " + from + " " + to + " " + Quote(archive);
    }

    TestFolder m_folder;
    std::string m_installer = m_folder.Path("InstallPatch.exe");
    std::string m_out = m_folder.Path("out/InstallPatch.exe");
    std::string m_archiveA = m_folder.Path("a.zip");
    std::string m_archiveB = m_folder.Path("b.zip");
    std::string m_notArchive = m_folder.Path("notes.txt");
    std::string m_output;
};

TEST_F(ContainerCommandsTest, EmbedListExtract) {
    fs::create_directories(m_folder.Path("out"));
    ASSERT_EQ(Embed(5000, Patch("46957", "48249", m_archiveA) + " " +
                              Patch("48249", "50001", m_archiveB)),
              0)
        << m_output;
    const Bytes out = ReadBytes(m_out);
    const Bytes a = ReadBytes(m_archiveA), b = ReadBytes(m_archiveB);
    // The installer unchanged, zeros up to the next multiple of 4096, the header, the
    // archives, and the directory ending the file.
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5000), ReadBytes(m_installer));
    EXPECT_TRUE(
        std::all_of(out.begin() + 5000, out.begin() + 8192, [](uint8_t x) { return x == 0; }));
    EXPECT_EQ(std::string(out.begin() + 8192, out.begin() + 8200), "Z0e1p2h3");
    const size_t total = 8192 + 28 + a.size() + b.size() + 2 * 80;
    ASSERT_EQ(out.size(), total);
    Bytes expectedHeader;
    PutLe(expectedHeader, total, 4);
    PutLe(expectedHeader, 2, 4);
    PutLe(expectedHeader, total - 160, 8);
    PutLe(expectedHeader, 0, 4);
    EXPECT_EQ(Bytes(out.begin() + 8200, out.begin() + 8220), expectedHeader);
    EXPECT_TRUE(fs::status(m_out).permissions() == fs::status(m_installer).permissions());

    ASSERT_EQ(RunCommand(Zephpack() + " list " + Quote(m_out), &m_output), 0);
    EXPECT_EQ(m_output, "container at 8192, 2 patches, " + std::to_string(total) +
                            " bytes\n46957 -> 48249 at 8220, " + std::to_string(a.size()) +
                            " bytes\n48249 -> 50001 at " + std::to_string(8220 + a.size()) + ", " +
                            std::to_string(b.size()) + " bytes\n");

    ZephPatch::EmbeddedPatchContainer container;
    ASSERT_EQ(container.OpenContainer(m_out), ZephPatch::kContainerOpened);
    ASSERT_EQ(container.ExtractPatch("48249", m_folder.Path("b.out")), 0);
    ASSERT_EQ(container.ExtractPatch("46957", m_folder.Path("a.out")), 0);
    EXPECT_EQ(ReadBytes(m_folder.Path("a.out")), a);
    EXPECT_EQ(ReadBytes(m_folder.Path("b.out")), b);
}

TEST_F(ContainerCommandsTest, InstallerOfAWholeNumberOfPagesGetsTheHeaderRightBehindIt) {
    fs::create_directories(m_folder.Path("out"));
    ASSERT_EQ(Embed(8192, Patch("1", "2", m_archiveB)), 0) << m_output;
    const Bytes out = ReadBytes(m_out);
    EXPECT_EQ(std::string(out.begin() + 8192, out.begin() + 8200), "Z0e1p2h3");
}

TEST_F(ContainerCommandsTest, EmbedRefusals) {
    fs::create_directories(m_folder.Path("out"));
    const std::string build32(32, '7');
    const std::string refused[] = {
        Patch("46957", "48249", m_archiveA) + " " + Patch("46957", "50000", m_archiveB),
        Patch(build32, "48249", m_archiveA),
        Patch("46957", "46957", m_archiveA),
        Patch("46957", "48249", m_notArchive),
        Patch("46957", "48249", m_folder.Path("missing.zip")),
    };
    for (const auto& patches : refused) {
        EXPECT_EQ(Embed(5000, patches), 1) << patches;
        EXPECT_FALSE(fs::exists(m_out)) << patches;
    }
    ASSERT_EQ(Embed(5000, Patch("1", "2", m_archiveA)), 0);
    EXPECT_EQ(RunCommand(Zephpack() + " embed " + Quote(m_out) + " " +
                             Quote(m_folder.Path("twice.exe")) + " " + Patch("2", "3", m_archiveB),
                         &m_output),
              1);
    EXPECT_NE(m_output.find("already carries patches"), std::string::npos) << m_output;
    EXPECT_EQ(RunCommand(Zephpack() + " list " + Quote(m_installer)), 1);
    EXPECT_EQ(Embed(5000, ""), 2);
}

}  // namespace
