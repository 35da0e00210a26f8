// HTTP and HTTPS against nginx, and against our fault server for what nginx will not do.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "kernel/buffers/data_buffer.h"
#include "tests/transfer/transfer_fixture.h"
#include "transfer/current_download.h"
#include "transfer/download.h"
#include "transfer/fetch.h"
#include "transfer/transfer_settings.h"

namespace transfer_test {
namespace {

using ZephUtil::DownloadToFile;
using ZephUtil::FetchUrl;
using ZephUtil::GetUrlSize;
using ZephUtil::ZephDataBufferMemoryDynamic;

constexpr int kFailed = ZephUtil::kTransferFailed;
constexpr int kCancelled = ZephUtil::kTransferCancelled;

class HttpTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        m_root = m_folder / "www";
        m_file = PatternBytes(300 * 1024 + 17);
        WriteFile(m_root + "/patch.zip", m_file);
    }

    int Hits(const PythonServer& server, const std::string& path) {
        ZephDataBufferMemoryDynamic count;
        EXPECT_EQ(FetchUrl(server.Url("hits/" + path), &count, false, Context()), 0);
        return std::atoi(Text(count).c_str());
    }

    std::string m_root;
    std::string m_file;
    ZephUtil::CurrentDownload m_current;
};

TEST_F(HttpTest, NginxServesIntoMemoryAndFileAndTellsTheSize) {
    Nginx nginx(m_folder, m_root);
    ASSERT_TRUE(nginx.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(nginx.Url("patch.zip"), &memory, true, Context()), 0);
    EXPECT_TRUE(Text(memory) == m_file);

    const std::string local = m_folder / "download.zip";
    EXPECT_TRUE(DownloadToFile(nginx.Url("patch.zip"), local, &m_current, Context()));
    EXPECT_TRUE(ReadFile(local) == m_file);
    EXPECT_TRUE(m_reports.lines.empty());
    uint64_t received = 0;
    EXPECT_FALSE(m_current.GetReceived(&received));

    uint64_t size = 0;
    EXPECT_EQ(GetUrlSize(nginx.Url("patch.zip"), &size, Context()), 0);
    EXPECT_EQ(size, m_file.size());
    EXPECT_EQ(GetUrlSize(nginx.Url("missing.zip"), &size, Context()), kFailed);
}

TEST_F(HttpTest, SizesBeyondFourGibibytes) {
    const uint64_t huge = (5ull << 30) + 123;
    const std::string path = m_root + "/huge.bin";
    WriteFile(path, "");
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(huge)), 0);
    Nginx nginx(m_folder, m_root);
    ASSERT_TRUE(nginx.Ok());
    uint64_t size = 0;
    EXPECT_EQ(GetUrlSize(nginx.Url("huge.bin"), &size, Context()), 0);
    EXPECT_EQ(size, huge);
}

// An error page must never become a catalogue or an archive.
TEST_F(HttpTest, ErrorStatusesFailAndAreNeverStored) {
    SetRetries(2, 2);
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    ZephDataBufferMemoryDynamic buffer;
    EXPECT_EQ(FetchUrl(server.Url("status-404/patch.zip"), &buffer, true, Context()), kFailed);
    EXPECT_EQ(buffer.GetSize(), 0u);
    EXPECT_EQ(Hits(server, "status-404/patch.zip"), 1) << "a missing file is not asked again";
    EXPECT_EQ(FetchUrl(server.Url("status-503/patch.zip"), &buffer, true, Context()), kFailed);
    EXPECT_EQ(buffer.GetSize(), 0u);
    EXPECT_EQ(Hits(server, "status-503/patch.zip"), 3) << "a server error may pass";

    const std::string url = server.Url("status-403/patch.zip");
    EXPECT_FALSE(DownloadToFile(url, m_folder / "x.zip", &m_current, Context()));
    EXPECT_EQ(ReadFile(m_folder / "x.zip"), "");
    ASSERT_EQ(m_reports.lines.size(), 1u);
    EXPECT_EQ(m_reports.lines[0].first, 3);
    EXPECT_EQ(m_reports.lines[0].second, "Unable to download patch file: " + url);
    uint64_t size = 0;
    EXPECT_EQ(GetUrlSize(server.Url("status-410/patch.zip"), &size, Context()), kFailed);
}

TEST_F(HttpTest, ACutBodyIsFetchedAgainFromTheStart) {
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(server.Url("cut-once/patch.zip"), &memory, false, Context()), 0);
    EXPECT_EQ(memory.GetSize(), m_file.size());
    EXPECT_TRUE(Text(memory) == m_file);
    EXPECT_EQ(Hits(server, "cut-once/patch.zip"), 2);

    WriteFile(m_root + "/other.zip", m_file.substr(1000));
    const std::string local = m_folder / "other.zip";
    EXPECT_TRUE(DownloadToFile(server.Url("cut-once/other.zip"), local, &m_current, Context()));
    EXPECT_TRUE(ReadFile(local) == m_file.substr(1000));
}

TEST_F(HttpTest, ABodyShortOfItsLengthIsNeverASuccess) {
    SetRetries(3, 3);
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    const std::string url = server.Url("cut-always/patch.zip");
    EXPECT_FALSE(DownloadToFile(url, m_folder / "short.zip", &m_current, Context()));
    EXPECT_EQ(Hits(server, "cut-always/patch.zip"), 4);
    ASSERT_EQ(m_reports.lines.size(), 1u);
    EXPECT_EQ(m_reports.lines[0], std::make_pair(3, "Unable to download patch file: " + url));
}

TEST_F(HttpTest, WithoutContentLengthTheBodyCountsButTheSizeIsUnknown) {
    SetRetries(10, 2);
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(server.Url("no-length/patch.zip"), &memory, false, Context()), 0);
    EXPECT_TRUE(Text(memory) == m_file);
    uint64_t size = 99;
    EXPECT_EQ(GetUrlSize(server.Url("no-length/patch.zip"), &size, Context()), kFailed);
    EXPECT_EQ(size, 99u);
    EXPECT_EQ(Hits(server, "no-length/patch.zip"), 1 + 3);
}

TEST_F(HttpTest, AServerThatStopsAnsweringFailsOnceTheRetriesAreSpent) {
    SetRetries(1, 1);
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(server.Url("stall/patch.zip"), &memory, false, Context()), kFailed);
    EXPECT_EQ(Hits(server, "stall/patch.zip"), 2);
}

TEST_F(HttpTest, ServersThatNeverAnswerOrRefuseFail) {
    SetRetries(0, 0);
    PythonServer silent(m_folder, "silent_server.py", {});
    ASSERT_TRUE(silent.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(silent.Url("patch.zip"), &memory, false, Context()), kFailed);
    uint64_t size = 0;
    EXPECT_EQ(GetUrlSize(silent.Url("patch.zip"), &size, Context()), kFailed);

    SetRetries(3, 3);
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreePort()) + "/patch.zip";
    EXPECT_EQ(FetchUrl(refused, &memory, false, Context()), kFailed);
    EXPECT_EQ(GetUrlSize(refused, &size, Context()), kFailed);
}

TEST_F(HttpTest, ACancelEndsTheTransferAtOnceWithoutRetries) {
    WriteFile(m_root + "/slow.zip", m_file.substr(0, 40 * 1024));
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    ZephDataBufferMemoryDynamic memory;
    CancelWhen midway([&] { return memory.GetSize() > 4096; });
    EXPECT_EQ(FetchUrl(server.Url("slow/slow.zip"), &memory, false, Context(midway)), kCancelled);
    EXPECT_LT(memory.GetSize(), 40u * 1024);
    EXPECT_EQ(Hits(server, "slow/slow.zip"), 1);

    // Cancelled while a failing server is being retried: no further attempt.
    CancelWhen now([] { return true; });
    EXPECT_EQ(FetchUrl(server.Url("status-503/x"), &memory, false, Context(now)), kCancelled);
    EXPECT_LE(Hits(server, "status-503/x"), 1);
    EXPECT_FALSE(
        DownloadToFile(server.Url("slow/slow.zip"), m_folder / "c.zip", &m_current, Context(now)));
    // The user stopped it: no "Unable to download" line.
    EXPECT_TRUE(now.lines.empty());
}

TEST_F(HttpTest, TheDownloadIsPublishedWhileItGrows) {
    const std::string slow = m_file.substr(0, 24 * 1024);
    WriteFile(m_root + "/slow.zip", slow);
    PythonServer server(m_folder, "http_fault_server.py", {m_root});
    ASSERT_TRUE(server.Ok());
    std::atomic<bool> done{false};
    std::atomic<uint64_t> midway{0};
    std::thread display([&] {
        while (!done) {
            uint64_t received = 0;
            if (m_current.GetReceived(&received) && received > 0 && received < slow.size())
                midway = received;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const std::string local = m_folder / "slow.zip";
    const bool ok = DownloadToFile(server.Url("slow/slow.zip"), local, &m_current, Context());
    done = true;
    display.join();
    EXPECT_TRUE(ok);
    EXPECT_GT(midway.load(), 0u);
    EXPECT_TRUE(ReadFile(local) == slow);
    uint64_t after = 0;
    EXPECT_FALSE(m_current.GetReceived(&after));
}

TEST_F(HttpTest, ALocalFileThatCannotBeCreatedAsksNoServer) {
    const std::string local = m_folder / "no/such/folder/x.zip";
    EXPECT_FALSE(DownloadToFile("http://127.0.0.1:1/x.zip", local, &m_current, Context()));
    ASSERT_EQ(m_reports.lines.size(), 1u);
    EXPECT_EQ(m_reports.lines[0],
              std::make_pair(3, "Unable to open the patch file for writing: " + local));
}

// A key and a self-signed certificate naming `subject` (as IP or DNS name).
bool MakeCertificate(const TestFolder& folder, const std::string& name,
                     const std::string& subject) {
    const std::string command =
        "/usr/bin/openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-days 2 -subj /CN=test -addext subjectAltName=" +
        subject + " -keyout " + folder / (name + ".key") + " -out " + folder / (name + ".pem") +
        " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

TEST_F(HttpTest, HttpsIsVerified) {
    ASSERT_TRUE(MakeCertificate(m_folder, "right", "IP:127.0.0.1"));
    ASSERT_TRUE(MakeCertificate(m_folder, "wrong", "DNS:elsewhere.example"));
    Nginx right(m_folder, m_root, m_folder / "right.pem", m_folder / "right.key");
    ASSERT_TRUE(right.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(right.Url("patch.zip"), &memory, false, Context()), kFailed)
        << "a certificate nobody vouches for";
    EXPECT_EQ(memory.GetSize(), 0u);

    m_settings.caBundle = m_folder / "right.pem";
    EXPECT_EQ(FetchUrl(right.Url("patch.zip"), &memory, false, Context()), 0);
    EXPECT_TRUE(Text(memory) == m_file);
    right.Stop();

    TestFolder other;
    Nginx wrong(other, m_root, m_folder / "wrong.pem", m_folder / "wrong.key");
    ASSERT_TRUE(wrong.Ok());
    m_settings.caBundle = m_folder / "wrong.pem";
    ZephDataBufferMemoryDynamic named;
    EXPECT_EQ(FetchUrl(wrong.Url("patch.zip"), &named, false, Context()), kFailed)
        << "a trusted certificate for another host";
}

}  // namespace
}  // namespace transfer_test
