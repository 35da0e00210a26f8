// The server patch chain of a session against real HTTP servers: the chain itself, and what a
// misbehaving server does to it. Retry pauses and stall limits are shortened, so that every
// fault costs a second or two.
#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "apply/sha256.h"
#include "kernel/messages/message_catalogue.h"
#include "session/build_list.h"
#include "session/patch_settings.h"
#include "session/patch_thread.h"
#include "tests/package/container_test_support.h"
#include "tests/support/fake_utility.h"
#include "tests/support/test_folder.h"
#include "tests/transfer/test_servers.h"
#include "transfer/fetch.h"
#include "transfer/transfer_settings.h"

namespace ZephPatch {
namespace {

using ContainerTest::ArchiveBytes;
using ContainerTest::Bytes;
using ContainerTest::PatternBytes;
using ContainerTest::WriteBytes;
using ContainerTest::WriteFile;
namespace fs = std::filesystem;

// Records the session's lines as "level text"; cancels once asked to.
class RecordingFrontEnd : public SessionFrontEnd {
public:
    void SetGaugeRange(int) override {}
    void SetGaugeValue(int) override {}
    void Report(ReportLevel level, const std::string& utf8) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::to_string(static_cast<int>(level)) + " " + utf8);
    }
    bool ShouldContinue() override { return !cancelled; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void ShowMessageBox(const std::string&, const std::string&) override {}
    bool ChooseFile(const std::string&, const std::string&, std::string*) override { return false; }
    void EnableApplyUpdate() override {}
    void ShowInstallPath(const std::string&) override {}
    void PatchInstalled() override { ++installed; }
    void SessionFinished() override {}

    bool Shown(const std::string& line) {
        std::lock_guard lock(m_mutex);
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }
    std::string Last() {
        std::lock_guard lock(m_mutex);
        return m_lines.empty() ? "" : m_lines.back();
    }

    std::atomic<bool> cancelled{false};
    std::atomic<int> installed{0};

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// A patch that changes nothing but carries `padding` bytes in a file of its own, which the
// applier does not look at.
Bytes QuietPatch(size_t padding = 0) {
    ArchiveBytes archive(2);
    archive.File(".\\addedFiles.txt", {})
        .File(".\\deletedFiles.txt", {})
        .File(".\\patchedFiles.txt", {});
    if (padding)
        archive.File(".\\padding.bin", PatternBytes(padding, 3));
    return archive.Get();
}

std::string Record(const std::string& from, const std::string& to, const std::string& url) {
    return "source-version: " + from + "\r\ntarget-version: " + to + "\r\npatch-exe-url: " + url +
           "\r\npatch-data-url: " + url + "\r\n\r\n";
}

// A record that vouches for `archive` with its size and SHA-256.
std::string VouchingRecord(const std::string& from, const std::string& to, const std::string& url,
                           const Bytes& archive) {
    Sha256 sha;
    sha.Update(archive.data(), archive.size());
    return "patch-data-size: " + std::to_string(archive.size()) +
           "\r\npatch-data-sha256: " + Sha256Hex(sha.Final()) + "\r\n" + Record(from, to, url);
}

// An installation of build 46957 with the fixture utility, its own registry and temporary
// folder, and a web root the fault server serves.
class RemotePatchesTest : public ::testing::Test {
protected:
    RemotePatchesTest() {
        SetMessageLanguage(LANGUAGE_ENGLISH);
        fs::create_directories(m_install + "/bin");
        fs::create_directories(m_install + "/UserData");
        fs::create_directories(m_folder / "temp");
        fs::create_directories(m_www);
        orvik_test::InstallFakeUtility(m_install + "/bin/VelmorUtil.exe");
        WriteFile(m_install + "/bin/VelmorUtil.cfg", "lines=1\ninterval=0\n");
        WriteFile(m_install + "/bin/builds.txt", "46957,");
        m_settings.installPath = m_install;
        m_environment.sleep = [](uint32_t) {};
        ZephUtil::TransferSettings& quick = m_environment.transfer;
        quick.fetchRetries = 2;
        quick.httpSizeRetries = 2;
        quick.retryPause = std::chrono::milliseconds(10);
        quick.stallTimeout = std::chrono::seconds(1);
    }
    ~RemotePatchesTest() override { SetMessageLanguage(LANGUAGE_NEUTRAL); }

    // Serves the catalogue text from the fault server, whose address replaces "SERVER/".
    void Offer(std::string catalogue) {
        for (size_t at; (at = catalogue.find("SERVER/")) != std::string::npos;)
            catalogue.replace(at, 7, m_server.Url(""));
        WriteFile(m_www + "/patches.txt", catalogue);
        m_settings.patchServers = {m_server.Url("plain/")};
    }

    bool RunSession(const std::function<void(PatchThread&)>& whileRunning = {}) {
        PatchThread session(m_frontEnd, m_settings, m_container, m_database, m_environment);
        if (!whileRunning) {
            session.Entry();
            return session.Completed();
        }
        EXPECT_TRUE(session.Start());
        whileRunning(session);
        session.Join();
        return session.Completed();
    }

    std::string Hits(const std::string& path) {
        ZephUtil::ZephDataBufferMemoryDynamic answer;
        SilentReporter silent;
        return ZephUtil::FetchUrl(m_server.Url("hits/" + path), &answer, true,
                                  {m_environment.transfer, silent}) == 0
                   ? std::string(answer.Bytes().begin(), answer.Bytes().end())
                   : "?";
    }

    bool TempFolderEmpty() { return fs::is_empty(m_folder / "temp"); }

    std::string ProductValue(const std::string& name) {
        return m_folder / ("registry/Software/Orvik/Products/VelmorSimulator/@" + name);
    }

    // A key pair made by the minisign program, its public key trusted through the registry.
    void TrustMinisignKey() {
        ASSERT_EQ(std::system(("cd " + m_folder.Path() +
                               " && minisign -G -W -p key.pub -s key.sec >/dev/null")
                                  .c_str()),
                  0);
        WriteFile(ProductValue("PatchSigningKeys"),
                  "REG_SZ\n" + ContainerTest::ReadFile(m_folder / "key.pub"));
    }
    void SignCatalogue() {
        ASSERT_EQ(std::system(("cd " + m_folder.Path() + " && minisign -S -s key.sec -m " + m_www +
                               "/patches.txt -t 'timestamp:1 sequence:3 expires:99999999999'")
                                  .c_str()),
                  0);
    }

    orvik_test::TestFolder m_folder;
    std::string m_install = m_folder / "install";
    std::string m_www = m_folder / "www";
    orvik_test::ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str()};
    orvik_test::ScopedEnv m_temp{"TEMP", (m_folder / "temp").c_str()};
    transfer_test::PythonServer m_server{m_folder, "http_fault_server.py", {m_www}};
    PatchSettings m_settings;
    EmbeddedPatchContainer m_container;
    AssetDatabaseAttachment m_database;
    RecordingFrontEnd m_frontEnd;
    SessionEnvironment m_environment;
};

TEST_F(RemotePatchesTest, ChainEndsWhenTheCatalogueHasNothingNewer) {
    WriteBytes(m_www + "/a.zpa", QuietPatch());
    WriteBytes(m_www + "/b.zpa", QuietPatch());
    // The first archive by a path relative to the server, the second by its whole address.
    Offer(Record("46957", "48249", "a.zpa") + Record("48249", "50001", "SERVER/plain/b.zpa"));
    EXPECT_TRUE(RunSession());
    EXPECT_EQ(m_frontEnd.installed, 2);
    EXPECT_TRUE(m_frontEnd.Shown("1 Patching from 48249 to 50001...\n"));
    EXPECT_TRUE(m_frontEnd.Shown(
        "1 Patch signatures are not checked: no patch signing key is configured."));
    EXPECT_TRUE(m_frontEnd.Shown("1 No (more) patches at server for version: 50001"));
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching completed.");
    EXPECT_TRUE(m_settings.targetBuild.empty());
    // The utility repaired the database after the last patch.
    EXPECT_NE(ContainerTest::ReadFile(m_install + "/bin/VelmorUtil.log").find("repairdatabase"),
              std::string::npos);
}

TEST_F(RemotePatchesTest, CatalogueLeadingBackDoesNotLoopForever) {
    WriteBytes(m_www + "/a.zpa", QuietPatch());
    Offer(Record("46957", "48249", "a.zpa") + Record("48249", "46957", "a.zpa"));
    EXPECT_TRUE(RunSession());
    EXPECT_EQ(m_frontEnd.installed, 2);
    EXPECT_TRUE(m_frontEnd.Shown("1 No (more) patches at server for version: 46957"));
}

TEST_F(RemotePatchesTest, UnknownSizeIsReportedAndAnySizeAccepted) {
    WriteBytes(m_www + "/a.zpa", QuietPatch());
    Offer(Record("46957", "48249", "SERVER/no-length/a.zpa"));
    EXPECT_TRUE(RunSession());
    EXPECT_TRUE(m_frontEnd.Shown("2 " + LoadMessage(144)));
    EXPECT_EQ(m_frontEnd.installed, 1);
}

TEST_F(RemotePatchesTest, ShortOrStalledDownloadIsNeverUnpacked) {
    WriteBytes(m_www + "/a.zpa", QuietPatch(20000));
    // The size query announces more than the download then brings.
    Offer(Record("46957", "48249", "SERVER/longer-first/a.zpa"));
    EXPECT_FALSE(RunSession());
    EXPECT_TRUE(m_frontEnd.Shown("3 Patch download failed."));
    EXPECT_FALSE(m_frontEnd.Shown("1 Unpacking patch file..."));
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching aborted.");
    // The short file is not left behind.
    EXPECT_TRUE(TempFolderEmpty());

    // A server that stops answering half-way: every attempt stalls, then the chain gives up.
    m_frontEnd.installed = 0;
    Offer(Record("46957", "48249", "SERVER/stall/a.zpa"));
    m_settings.installedBuilds.clear();
    EXPECT_FALSE(RunSession());
    // One size query, which needs only the headers, and three download attempts.
    EXPECT_EQ(Hits("stall/a.zpa"), "4");
    EXPECT_TRUE(m_frontEnd.Shown("3 Patch download failed."));
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_TRUE(TempFolderEmpty());
}

// Nothing of a patch may take more than the room the space check insisted on: neither a
// download whose server names no size, nor a small archive that unpacks to a huge file.
TEST_F(RemotePatchesTest, DownloadsAndUnpackingStayWithinTheCheckedSpace) {
    m_environment.requiredMegabytes = 1;
    WriteBytes(m_www + "/big.zpa", PatternBytes(3 << 20, 5));
    Offer(Record("46957", "48249", "SERVER/no-length/big.zpa"));
    EXPECT_FALSE(RunSession());
    EXPECT_TRUE(m_frontEnd.Shown("3 The patch file " + m_server.Url("no-length/big.zpa") +
                                 " is larger than the 1 MB set aside for it."));
    EXPECT_TRUE(TempFolderEmpty());

    ArchiveBytes bomb(2);
    bomb.File(".\\addedFiles.txt", {}).File(".\\deletedFiles.txt", {});
    bomb.File(".\\patchedFiles.txt", {}).File(".\\zeros.bin", Bytes(3 << 20, 0));
    WriteBytes(m_www + "/bomb.zpa", bomb.Get());
    Offer(Record("46957", "48249", "bomb.zpa"));
    m_settings.installedBuilds.clear();
    EXPECT_FALSE(RunSession());
    EXPECT_TRUE(m_frontEnd.Shown(
        "3 The patch archive unpacks to more than the 1MB set aside for patching."));
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_TRUE(TempFolderEmpty());
}

TEST_F(RemotePatchesTest, ProgressIsQueryableAndCancelEndsTheDownloadAtOnce) {
    WriteBytes(m_www + "/a.zpa", QuietPatch(400000));  // some 20 s at the slow pace
    Offer(Record("46957", "48249", "SERVER/slow/a.zpa"));
    DownloadProgress seen;
    EXPECT_FALSE(RunSession([&](PatchThread& session) {
        for (int polls = 0; polls < 1000 && !m_frontEnd.cancelled; ++polls) {
            DownloadProgress progress;
            if (session.QueryDownloadProgress(&progress) && progress.received > 0) {
                seen = progress;
                m_frontEnd.cancelled = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }));
    EXPECT_EQ(seen.total, fs::file_size(m_www + "/a.zpa"));
    EXPECT_LT(seen.percent, 100);
    EXPECT_GT(seen.elapsedSeconds, 0);
    // One request for the size, one for the download: the cancel was not retried.
    EXPECT_EQ(Hits("slow/a.zpa"), "2");
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching aborted.");
}

// Servers in trouble are retried ten times, a second apart; a cancel must not wait for that.
TEST_F(RemotePatchesTest, CancelReachesTheCatalogueSearchAndTheSizeQuery) {
    ZephUtil::TransferSettings& patient = m_environment.transfer;
    patient.fetchRetries = 10;
    patient.httpSizeRetries = 10;
    patient.retryPause = std::chrono::milliseconds(1000);
    m_settings.patchServers = {m_server.Url("status-503/"), m_server.Url("plain/")};
    m_frontEnd.cancelled = true;
    EXPECT_FALSE(RunSession());
    EXPECT_LE(std::atoi(Hits("status-503/patches.txt").c_str()), 1);
    EXPECT_EQ(Hits("plain/patches.txt"), "0");
    EXPECT_FALSE(m_frontEnd.Shown("3 Unable to connect to any patch servers."));
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching aborted.");

    // The catalogue loads; the archive's size query fails and is cancelled between attempts.
    m_frontEnd.cancelled = false;
    Offer(Record("46957", "48249", "SERVER/status-503/a.zpa"));
    EXPECT_FALSE(RunSession([&](PatchThread&) {
        for (int polls = 0; polls < 500 && Hits("status-503/a.zpa") == "0"; ++polls)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_frontEnd.cancelled = true;
    }));
    EXPECT_LE(std::atoi(Hits("status-503/a.zpa").c_str()), 2);
    EXPECT_FALSE(m_frontEnd.Shown("2 " + LoadMessage(144)));
    EXPECT_FALSE(m_frontEnd.Shown("1 Downloading patch file..."));
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching aborted.");
}

TEST_F(RemotePatchesTest, NoInstalledBuildIsAFailureNotACompletion) {
    WriteBytes(m_www + "/a.zpa", QuietPatch());
    Offer(Record("46957", "48249", "a.zpa"));
    fs::remove(m_install + "/bin/builds.txt");
    EXPECT_FALSE(RunSession());
    EXPECT_EQ(m_frontEnd.installed, 0);
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching aborted.");
}

TEST_F(RemotePatchesTest, SignedCatalogueMustVouchForEveryArchive) {
    TrustMinisignKey();
    const Bytes patch = QuietPatch();
    for (const char* name : {"a.zpa", "b.zpa", "c.zpa"})
        WriteBytes(m_www + "/" + name, patch);
    // A record without size and SHA-256: refused before anything is fetched.
    Offer(Record("46957", "48249", "a.zpa"));
    SignCatalogue();
    EXPECT_FALSE(RunSession());
    EXPECT_TRUE(
        m_frontEnd.Shown("3 The signed catalogue gives no valid patch-data-size and "
                         "patch-data-sha256 for the patch from 46957; it was not "
                         "downloaded."));
    EXPECT_EQ(Hits("plain/a.zpa"), "0");

    // An archive larger than vouched for: stopped at the bound, fetched once (no size query,
    // no retry), and removed.
    WriteBytes(m_www + "/b.zpa", QuietPatch(20000));
    Offer(VouchingRecord("46957", "48249", "b.zpa", patch));
    SignCatalogue();
    EXPECT_FALSE(RunSession());
    EXPECT_TRUE(m_frontEnd.Shown("3 The patch file " + m_server.Url("plain/b.zpa") +
                                 " does not match the signed catalogue: it is larger than " +
                                 std::to_string(patch.size()) + " bytes."));
    EXPECT_EQ(Hits("plain/b.zpa"), "1");
    EXPECT_TRUE(TempFolderEmpty());

    Offer(VouchingRecord("46957", "48249", "c.zpa", patch));
    SignCatalogue();
    EXPECT_TRUE(RunSession());
    EXPECT_EQ(m_frontEnd.installed, 1);
    EXPECT_EQ(ContainerTest::ReadFile(ProductValue("PatchCatalogueSequence")), "REG_SZ\n3\n");
}

TEST_F(RemotePatchesTest, KeysThatCannotBeReadStopDownloadMode) {
    WriteFile(ProductValue("PatchSigningKeys"), "REG_SZ\nRWQnot-a-key\n");
    Offer(Record("46957", "48249", "a.zpa"));
    EXPECT_FALSE(RunSession());
    EXPECT_TRUE(
        m_frontEnd.Shown("3 Patch signatures cannot be checked: the registry value "
                         "PatchSigningKeys is unusable: \"RWQnot-a-key\" is not a "
                         "minisign public key."));
    EXPECT_EQ(Hits("plain/patches.txt"), "0");
    EXPECT_EQ(m_frontEnd.Last(), "1 Patching aborted.");
}

}  // namespace
}  // namespace ZephPatch
