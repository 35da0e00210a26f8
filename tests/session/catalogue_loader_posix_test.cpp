// The catalogue from the first server that offers one, and the archives it names, over real
// HTTP and FTP servers.
#include "session/patch_catalogue_loader.h"

#include <gtest/gtest.h>

#include "tests/transfer/transfer_fixture.h"
#include "transfer/current_download.h"
#include "transfer/download.h"
#include "transfer/fetch.h"

namespace transfer_test {
namespace {

class CatalogueLoaderTest : public TransferTest {
protected:
    ZephPatch::PatchCatalogue m_catalogue;
};

const char kChain[] =
    "source-version: 46957\r\ntarget-version: 48249\r\npatch-exe-url: x\r\n"
    "patch-data-url: builds\\46957_to_48249.zip\r\n\r\n"
    "source-version: 48249\r\ntarget-version: 50001\r\npatch-exe-url: x\r\n"
    "patch-data-url: FTP_URL\r\n";

TEST_F(CatalogueLoaderTest, TheFirstServerWithAValidCatalogueWins) {
    const std::string www = m_folder / "www";
    WriteFile(www + "/empty/patches.txt", "\r\n\r\n\n");
    WriteFile(www + "/good/patches.txt", kChain);
    WriteFile(www + "/good/builds/46957_to_48249.zip", PatternBytes(70000, 1));
    const std::string ftpRoot = m_folder / "ftp";
    WriteFile(ftpRoot + "/48249_to_50001.zip", PatternBytes(90000, 2));
    Nginx nginx(m_folder, www);
    PythonServer faults(m_folder, "http_fault_server.py", {www});
    Vsftpd vsftpd(m_folder, ftpRoot);
    ASSERT_TRUE(nginx.Ok() && faults.Ok() && vsftpd.Ok());
    std::string chain = kChain;
    chain.replace(chain.find("FTP_URL"), 7, vsftpd.Url("48249_to_50001.zip"));
    WriteFile(www + "/good/patches.txt", chain);

    const std::string missing = faults.Url("status-404");
    const std::string good = nginx.Url("good/");
    ASSERT_TRUE(
        ZephPatch::LoadCatalogue({"", missing, nginx.Url("empty"), good}, &m_catalogue, Context()));
    EXPECT_EQ(m_catalogue.ServerBaseUrl(), good);
    ASSERT_EQ(m_reports.lines.size(), 1u);
    EXPECT_EQ(m_reports.lines[0],
              std::make_pair(1, "Unable to download patch file: " + missing + "/patches.txt"));

    // The archives it names, one relative to the server and one on an FTP server of its own.
    ZephUtil::CurrentDownload current;
    const auto* first = m_catalogue.FindPatch("46957");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->patchDataUrl, good + "builds/46957_to_48249.zip");
    const auto* second = m_catalogue.FindPatch(first->targetVersion);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->targetVersion, "50001");
    EXPECT_EQ(m_catalogue.FindPatch(second->targetVersion), nullptr);
    for (const auto* entry : {first, second}) {
        uint64_t size = 0;
        EXPECT_EQ(ZephUtil::GetUrlSize(entry->patchDataUrl, &size, Context()), 0);
        const std::string local = m_folder / "download.zip";
        EXPECT_TRUE(ZephUtil::DownloadToFile(entry->patchDataUrl, local, &current, Context()));
        EXPECT_EQ(ReadFile(local).size(), size);
    }
    EXPECT_TRUE(ReadFile(m_folder / "download.zip") == PatternBytes(90000, 2));
}

// A server that accepts and never answers is given up after one wait, not after every retry,
// and one that sends more than a catalogue can be is not held in memory: the next one wins.
TEST_F(CatalogueLoaderTest, SilentOrEndlessServersGiveWayToTheNext) {
    const std::string www = m_folder / "www";
    const std::string record = "source-version: 1\npatch-exe-url: x\npatch-data-url: a.zip\n";
    WriteFile(www + "/endless/patches.txt",
              record + "target-version: 2\n" + std::string(2 << 20, ' ') + "\n");
    WriteFile(www + "/good/patches.txt", record + "target-version: 3\n");
    Nginx nginx(m_folder, www);
    PythonServer silent(m_folder, "silent_server.py", {});
    ASSERT_TRUE(nginx.Ok() && silent.Ok());
    ASSERT_TRUE(ZephPatch::LoadCatalogue(
        {silent.Url(""), nginx.Url("endless/"), nginx.Url("good/")}, &m_catalogue, Context()));
    EXPECT_EQ(m_catalogue.FindPatch("1")->targetVersion, "3");
    const std::string log = silent.Log();
    int accepted = 0;
    for (size_t at = log.find("accepted"); at != std::string::npos;
         at = log.find("accepted", at + 1))
        ++accepted;
    EXPECT_EQ(accepted, 1) << log;
}

TEST_F(CatalogueLoaderTest, NoServerWithACatalogue) {
    SetRetries(1, 1);
    const std::string www = m_folder / "www";
    WriteFile(www + "/patches.txt", "source-version: 1\nno colon\n");
    Nginx nginx(m_folder, www);
    ASSERT_TRUE(nginx.Ok());
    const std::string dead = "http://127.0.0.1:" + std::to_string(FreePort());
    m_catalogue.SetServerBaseUrl("stale");
    EXPECT_FALSE(ZephPatch::LoadCatalogue({dead, nginx.Url("")}, &m_catalogue, Context()));
    EXPECT_EQ(m_catalogue.ServerBaseUrl(), "");
    EXPECT_TRUE(m_catalogue.Entries().empty());
    ASSERT_EQ(m_reports.lines.size(), 2u);
    EXPECT_EQ(m_reports.lines[0],
              std::make_pair(1, "Unable to download patch file: " + dead + "/patches.txt"));
    // The end of the search is an error, shown as one.
    EXPECT_EQ(m_reports.lines[1], std::make_pair(3, std::string("Unable to connect to any patch "
                                                                "servers.")));
    EXPECT_FALSE(ZephPatch::LoadCatalogue({}, &m_catalogue, Context()));
}

TEST_F(CatalogueLoaderTest, AnFtpServerCanServeTheCatalogue) {
    const std::string root = m_folder / "ftp";
    WriteFile(root + "/velmor/patches.txt",
              "source-version: 1\ntarget-version: 2\npatch-exe-url: x\npatch-data-url: a.zip\n");
    Vsftpd vsftpd(m_folder, root);
    ASSERT_TRUE(vsftpd.Ok());
    ASSERT_TRUE(ZephPatch::LoadCatalogue({vsftpd.Url("velmor")}, &m_catalogue, Context()));
    EXPECT_EQ(m_catalogue.FindPatch("1")->patchDataUrl, vsftpd.Url("velmor/a.zip"));
}

}  // namespace
}  // namespace transfer_test
