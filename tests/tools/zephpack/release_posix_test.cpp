// zephpack release, the publisher's whole step, and the help every command gives.
#include "apply/patch_catalogue.h"
#include "tests/tools/zephpack/zephpack_runner.h"

namespace {

using namespace ContainerTest;

class ReleaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_folder.Path("b1/same.txt"), "same");
        WriteFile(m_folder.Path("b1/bin/Engine.dll"), std::string(5000, 'e') + "v1");
        WriteFile(m_folder.Path("b1/old.txt"), "gone soon");
        WriteFile(m_folder.Path("b2/same.txt"), "same");
        WriteFile(m_folder.Path("b2/bin/Engine.dll"), std::string(5000, 'e') + "v2");
        WriteFile(m_folder.Path("b2/new.txt"), "new");
        WriteFile(m_folder.Path("b3/same.txt"), "changed");
        ASSERT_EQ(Zephpack("keygen " + Quote(m_folder.Path("k.pub")) + " " +
                           Quote(m_folder.Path("k.key"))),
                  0);
    }

    int Zephpack(const std::string& arguments) {
        return RunCommand(ContainerTest::Zephpack() + " " + arguments, &m_output);
    }
    int Release(const std::string& from, const std::string& to, const std::string& out,
                const std::string& more = "") {
        return Zephpack("release " + Quote(m_folder.Path("b" + from)) + " " +
                        Quote(m_folder.Path("b" + to)) + " --from " + from + " --to " + to +
                        " --out " + Quote(out) + more);
    }
    bool Says(const std::string& text) const { return m_output.find(text) != std::string::npos; }

    TestFolder m_folder;
    std::string m_output;
};

TEST_F(ReleaseTest, ChainOfReleasesMakesASignedServer) {
    const std::string server = m_folder.Path("www");
    const std::string key = " --key " + Quote(m_folder.Path("k.key"));
    ASSERT_EQ(Release("1", "2", server, key), 0) << m_output;
    EXPECT_TRUE(Says("files: 1 added, 1 deleted, 1 patched")) << m_output;
    EXPECT_TRUE(Says("record added (1 records)")) << m_output;
    ASSERT_EQ(Release("2", "3", server, key + " --base-url http://cdn.example.com/v"), 0);
    // Releasing a build again replaces its record.
    ASSERT_EQ(Release("1", "2", server, key), 0) << m_output;
    EXPECT_TRUE(Says("record updated (2 records)")) << m_output;
    EXPECT_TRUE(Says("sequence 3")) << m_output;

    ZephPatch::PatchCatalogue catalogue;
    ASSERT_TRUE(catalogue.ParseCatalogue(ReadFile(server + "/patches.txt"), "http://s/"));
    const auto* first = catalogue.FindPatch("1");
    ASSERT_TRUE(first && first->patchDataSize && first->patchDataSha256);
    EXPECT_EQ(first->patchDataUrl, "http://s/1_to_2.zpa");
    EXPECT_EQ(*first->patchDataSize, fs::file_size(server + "/1_to_2.zpa"));
    EXPECT_EQ(catalogue.FindPatch("2")->patchDataUrl, "http://cdn.example.com/v/2_to_3.zpa");
    EXPECT_EQ(
        Zephpack("verify " + Quote(server + "/patches.txt") + " " + Quote(m_folder.Path("k.pub"))),
        0)
        << m_output;
    // What it wrote unpacks to a patch of the trees.
    EXPECT_EQ(Zephpack("unpack " + Quote(server + "/2_to_3.zpa") + " " +
                       Quote(m_folder.Path("unpacked"))),
              0);
    EXPECT_EQ(ReadFile(m_folder.Path("unpacked/deletedFiles.txt")).substr(0, 14),
              "bin\\Engine.dll");
}

TEST_F(ReleaseTest, SameInputsGiveTheSameBytes) {
    ASSERT_EQ(Release("1", "2", m_folder.Path("a")), 0) << m_output;
    EXPECT_TRUE(Says("signature: none")) << m_output;
    ASSERT_EQ(Release("1", "2", m_folder.Path("b")), 0);
    EXPECT_EQ(TreeOf(m_folder.Path("a")), TreeOf(m_folder.Path("b")));
}

TEST_F(ReleaseTest, RefusesBadRequestsBeforeWritingAnything) {
    const std::string out = m_folder.Path("out");
    EXPECT_EQ(Release("1", "1", out), 2);
    EXPECT_EQ(Release("1", "2", out, " --sequence x"), 2);
    EXPECT_EQ(Zephpack("release " + Quote(m_folder.Path("b1")) + " --from 1 --to 2 --out x"), 2);
    EXPECT_EQ(Release("1", "2", out, " --key " + Quote(m_folder.Path("k.pub"))), 1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(Release("1", "9", out), 1);
    EXPECT_TRUE(Says("not a folder")) << m_output;
    EXPECT_FALSE(fs::exists(out));
}

TEST(ZephpackHelpTest, HelpGoesToStandardOutputForEveryCommand) {
    std::string output;
    for (const char* asked : {" --help", " -h", " help"}) {
        EXPECT_EQ(RunCommand("{ " + Zephpack() + asked + " 2>/dev/null; }", &output), 0);
        EXPECT_NE(output.find("Commands:"), std::string::npos) << asked;
    }
    for (const char* command : {"diff", "archive", "unpack", "embed", "list", "catalogue", "keygen",
                                "sign", "verify", "release"}) {
        const std::string usage = std::string("Usage: zephpack ") + command;
        EXPECT_EQ(RunCommand("{ " + Zephpack() + " help " + command + " 2>/dev/null; }", &output),
                  0);
        EXPECT_EQ(output.substr(0, usage.size()), usage);
        EXPECT_EQ(
            RunCommand("{ " + Zephpack() + " " + command + " x --help 2>/dev/null; }", &output), 0);
        EXPECT_EQ(output.substr(0, usage.size()), usage);
    }
    EXPECT_EQ(RunCommand(Zephpack() + " --version", &output), 0);
    EXPECT_EQ(output.substr(0, 9), "zephpack ");
    EXPECT_EQ(RunCommand(Zephpack(), &output), 2);
    EXPECT_EQ(RunCommand(Zephpack() + " frobnicate", &output), 2);
}

}  // namespace
