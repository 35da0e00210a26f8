// Download mode with a trusted signing key, as a publisher and a player meet it: the publisher
// releases with zephpack, nginx serves, the installer patches only what the key vouches for.
#include "tests/e2e/download_session.h"

namespace orvik_test {
namespace {

const std::string kProductKey = "registry/SOFTWARE/Orvik/Products/VelmorSimulator/";

class SignedDownload : public DownloadSession {
protected:
    void SetUp() override {
        DownloadSession::SetUp();
        MakeKey("trusted");
        WriteFile(Sample(kProductKey + "@PatchSigningKeys"),
                  "REG_SZ\n" + ReadFile(Key("trusted.pub")) + "\n");
    }

    std::string Key(const std::string& name) const { return m_folder / ("keys/" + name); }

    void MakeKey(const std::string& name) {
        fs::create_directories(m_folder / "keys");
        ASSERT_EQ(RunZephpack({"keygen", Key(name + ".pub"), Key(name + ".key")}), 0);
    }

    // The sample's two archives in `folder`, their catalogue signed with `key`; `signOptions`
    // go to zephpack sign.
    void PublishSigned(const std::string& folder, const std::string& key = "trusted",
                       const std::vector<std::string>& signOptions = {}) {
        for (const char* archive : {kFirstArchive, kSecondArchive})
            fs::copy_file(Sample(archive), folder + "/" + archive,
                          fs::copy_options::overwrite_existing);
        Publish(folder, {"46957", "48249", kFirstArchive, "48249", "50001", kSecondArchive});
        std::vector<std::string> sign = {"sign", folder + "/patches.txt", Key(key + ".key")};
        sign.insert(sign.end(), signOptions.begin(), signOptions.end());
        ASSERT_EQ(RunZephpack(sign), 0);
    }

    std::string StoredSequence() const {
        return ReadFile(Sample(kProductKey + "@PatchCatalogueSequence"));
    }

    // The installer refused with `reason` before touching the installation. A refused
    // catalogue leaves the stored sequence alone; a genuine one counts even when an archive
    // it names is then refused (`sequenceAfter`).
    void ExpectRefused(const std::string& reason, const std::string& sequenceAfter = "same") {
        Nginx web(m_folder, m_www);
        ASSERT_TRUE(web.Ok());
        const std::string sequenceBefore = StoredSequence();
        const CliRun run = Run({"--server=" + web.Url(""), Sample("install")});
        EXPECT_EQ(run.exitCode, 3);  // no usable server, or a download that failed
        bool told = false;
        for (const auto& line : run.lines)
            told = told || line.find(reason) != std::string::npos;
        EXPECT_TRUE(told) << reason << "\n" << Joined(run.lines);
        EXPECT_TRUE(Contains(run.lines, kAborted)) << Joined(run.lines);
        EXPECT_TRUE(NothingApplied());
        EXPECT_EQ(StoredSequence(), sequenceAfter == "same" ? sequenceBefore : sequenceAfter);
    }
};

TEST_F(SignedDownload, ReleasedChainInstallsAndItsSequenceIsKept) {
    for (const auto& [from, to] : {std::pair{"46957", "48249"}, std::pair{"48249", "50001"}}) {
        ASSERT_EQ(RunZephpack({"release", Sample(std::string("trees/") + from),
                               Sample(std::string("trees/") + to), "--from", from, "--to", to,
                               "--out", m_www, "--key", Key("trusted.key")}),
                  0);
    }
    Nginx web(m_folder, m_www);
    ASSERT_TRUE(web.Ok());
    const CliRun run = Run({"--server=" + web.Url(""), Sample("install")});
    EXPECT_EQ(run.exitCode, 0) << Joined(run.lines);
    EXPECT_TRUE(InOrder(run.lines, {"Patching from 46957 to 48249...",
                                    "Patching from 48249 to 50001...", kCompleted}))
        << Joined(run.lines);
    EXPECT_FALSE(Contains(run.lines,
                          "Patch signatures are not checked: no patch signing key is configured."));
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_EQ(StoredSequence(), "REG_SZ\n2\n");
}

TEST_F(SignedDownload, TamperedArchiveIsRefused) {
    PublishSigned(m_www);
    std::string archive = ReadFile(m_www + "/" + kFirstArchive);
    archive[archive.size() / 2] ^= 1;
    WriteFile(m_www + "/" + kFirstArchive, archive);
    ExpectRefused("does not match the signed catalogue: its SHA-256 differs.", "REG_SZ\n1\n");
}

TEST_F(SignedDownload, TamperedCatalogueIsRefused) {
    PublishSigned(m_www);
    std::string catalogue = ReadFile(m_www + "/patches.txt");
    catalogue.replace(catalogue.find("48249"), 5, "48250");
    WriteFile(m_www + "/patches.txt", catalogue);
    ExpectRefused("was refused: its signature does not match it.");
}

TEST_F(SignedDownload, CatalogueOfAnUnknownKeyIsRefused) {
    MakeKey("stranger");
    PublishSigned(m_www, "stranger");
    ExpectRefused(", which is not trusted.");
}

TEST_F(SignedDownload, ExpiredCatalogueIsRefused) {
    PublishSigned(m_www, "trusted", {"--trusted-comment", "timestamp:1 expires:86400 sequence:9"});
    ExpectRefused("was refused: it expired on 1970-01-02 00:00 UTC.");
}

TEST_F(SignedDownload, ReplayedOlderCatalogueIsRefused) {
    WriteFile(Sample(kProductKey + "@PatchCatalogueSequence"), "REG_SZ\n5\n");
    PublishSigned(m_www, "trusted", {"--sequence", "4"});
    ExpectRefused("its sequence number 4 is below that of the last catalogue accepted (5).");
}

TEST_F(SignedDownload, UnsignedCatalogueIsRefused) {
    PublishSigned(m_www);
    fs::remove(m_www + "/patches.txt.minisig");
    ExpectRefused("was refused: it has no signature");
}

TEST_F(SignedDownload, RefusedCatalogueLetsTheNextServerBeTried) {
    fs::create_directories(m_www + "/forged");
    fs::create_directories(m_www + "/genuine");
    MakeKey("stranger");
    PublishSigned(m_www + "/forged", "stranger");
    PublishSigned(m_www + "/genuine");
    Nginx web(m_folder, m_www);
    ASSERT_TRUE(web.Ok());
    WriteFile(m_folder / "servers.txt", web.Url("forged/") + "\n" + web.Url("genuine/") + "\n");
    const CliRun run = Run({"--list=" + (m_folder / "servers.txt"), Sample("install")});
    EXPECT_EQ(run.exitCode, 0) << Joined(run.lines);
    EXPECT_TRUE(InOrder(
        run.lines,
        {"Searching for patches...",
         "The catalogue " + web.Url("forged/") + "patches.txt was refused: it is signed by key " +
             ReadFile(Key("stranger.pub")).substr(39, 16) + ", which is not trusted.",
         "Patching from 46957 to 48249...", kCompleted}))
        << Joined(run.lines);
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_EQ(StoredSequence(), "REG_SZ\n1\n");
}

}  // namespace
}  // namespace orvik_test
