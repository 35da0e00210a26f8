// zephpack archive and unpack, run as the publisher runs them.
#include "tests/tools/zephpack/zephpack_runner.h"

namespace {

using namespace ContainerTest;

class ArchiveCommandsTest : public ::testing::Test {
protected:
    // Files with extensions and folders without, so both formats can carry the tree.
    void MakeTree(bool withExtensionlessFile) {
        WriteBytes(m_tree + "/data/maps/big.bin", PatternBytes(3 << 20, 5));
        WriteBytes(m_tree + "/data/maps/empty.dat", {});
        WriteFile(m_tree + "/data/Grüße.txt", "hello");
        WriteFile(m_tree + "/addedFiles.txt", ".\\data\\maps\\big.bin\r\n");
        fs::create_directories(m_tree + "/data/empty");
        if (withExtensionlessFile)
            WriteFile(m_tree + "/data/README", "readme");
    }

    int Zephpack(const std::string& arguments) {
        return RunCommand(ContainerTest::Zephpack() + " " + arguments, &m_output);
    }

    TestFolder m_folder;
    std::string m_tree = m_folder.Path("tree");
    std::string m_output;
};

TEST_F(ArchiveCommandsTest, RoundTripGivesTheSameTreeInBothFormats) {
    MakeTree(false);
    for (const std::string format : {"1", "2"}) {
        const std::string archive = m_folder.Path("patch" + format + ".zip");
        const std::string out = m_folder.Path("out" + format);
        ASSERT_EQ(
            Zephpack("archive " + Quote(m_tree) + " " + Quote(archive) + " --format " + format), 0)
            << m_output;
        ASSERT_EQ(Zephpack("unpack " + Quote(archive) + " " + Quote(out)), 0) << m_output;
        EXPECT_EQ(TreeOf(out), TreeOf(m_tree)) << format;
        EXPECT_EQ(ReadBytes(archive)[0], format == "1" ? 1 : 2);
    }
}

TEST_F(ArchiveCommandsTest, ArchivesAreDeterministic) {
    MakeTree(true);
    ASSERT_EQ(Zephpack("archive " + Quote(m_tree) + " " + Quote(m_folder.Path("a.zip"))), 0);
    // The same tree written in another order of creation.
    fs::rename(m_tree, m_folder.Path("moved"));
    fs::create_directories(m_tree);
    fs::copy(m_folder.Path("moved"), m_tree, fs::copy_options::recursive);
    ASSERT_EQ(Zephpack("archive " + Quote(m_tree) + " " + Quote(m_folder.Path("b.zip"))), 0);
    EXPECT_EQ(ReadBytes(m_folder.Path("a.zip")), ReadBytes(m_folder.Path("b.zip")));
}

TEST_F(ArchiveCommandsTest, RefusalsAndUsage) {
    MakeTree(true);
    const std::string archive = m_folder.Path("patch.zip");
    // Format 1 would take the extensionless file for a folder.
    EXPECT_EQ(Zephpack("archive " + Quote(m_tree) + " " + Quote(archive) + " --format 1"), 1);
    EXPECT_NE(m_output.find("README"), std::string::npos) << m_output;
    EXPECT_FALSE(fs::exists(archive));
    WriteBytes(archive, ArchiveBytes(2).Folder("..\\escape").Get());
    EXPECT_EQ(Zephpack("unpack " + Quote(archive) + " " + Quote(m_folder.Path("out"))), 1);
    EXPECT_FALSE(fs::exists(m_folder.Path("escape")));
    EXPECT_EQ(Zephpack("archive " + Quote(m_tree)), 2);
    EXPECT_EQ(Zephpack("archive " + Quote(m_tree) + " " + Quote(archive) + " --format 3"), 2);
    EXPECT_EQ(Zephpack("frobnicate"), 2);
}

}  // namespace
