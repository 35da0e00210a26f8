// FTP against vsftpd, and against pyftpdlib where a server must misbehave on purpose.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "kernel/buffers/data_buffer.h"
#include "tests/transfer/transfer_fixture.h"
#include "transfer/current_download.h"
#include "transfer/download.h"
#include "transfer/fetch.h"
#include "transfer/ftp_client.h"

namespace transfer_test {
namespace {

using ZephUtil::FetchUrl;
using ZephUtil::GetUrlSize;
using ZephUtil::ZephDataBufferMemoryDynamic;
using ZephUtil::ZephFTP;

constexpr int kFailed = ZephUtil::kTransferFailed;

class FtpTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        m_root = m_folder / "pub";
        m_file = PatternBytes(256 * 1024 + 5, 7);
        WriteFile(m_root + "/patch.zip", m_file);
        m_log = m_folder / "commands.log";
    }

    // pyftpdlib in `mode`, logging the commands it receives.
    std::unique_ptr<PythonServer> FaultServer(const std::string& mode, int bytes = 0) {
        return std::make_unique<PythonServer>(
            m_folder, "ftp_fault_server.py",
            std::vector<std::string>{m_root, m_log, mode, std::to_string(bytes)});
    }

    int Count(const std::string& command) {
        const std::string log = ReadFile(m_log);
        int count = 0;
        for (size_t at = log.find(command); at != std::string::npos; at = log.find(command, at + 1))
            ++count;
        return count;
    }

    static ZephDataBufferMemoryDynamic Holding(const std::string& bytes) {
        ZephDataBufferMemoryDynamic buffer;
        EXPECT_EQ(buffer.Write(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
        return buffer;
    }

    std::string m_root;
    std::string m_file;
    std::string m_log;
};

// The port in the URL is the one dialled: no server here listens on 21.
TEST_F(FtpTest, VsftpdServesOnThePortTheUrlNames) {
    Vsftpd vsftpd(m_folder, m_root);
    ASSERT_TRUE(vsftpd.Ok());
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(vsftpd.Url("patch.zip"), &memory, true, Context()), 0);
    EXPECT_TRUE(Text(memory) == m_file);

    ZephUtil::CurrentDownload current;
    EXPECT_TRUE(
        ZephUtil::DownloadToFile(vsftpd.Url("patch.zip"), m_folder / "d.zip", &current, Context()));
    EXPECT_TRUE(ReadFile(m_folder / "d.zip") == m_file);

    uint64_t size = 0;
    EXPECT_EQ(GetUrlSize(vsftpd.Url("patch.zip"), &size, Context()), 0);
    EXPECT_EQ(size, m_file.size());
    SetRetries(1, 1);
    EXPECT_EQ(GetUrlSize(vsftpd.Url("missing.zip"), &size, Context()), kFailed);
    EXPECT_EQ(FetchUrl(vsftpd.Url("missing.zip"), &memory, false, Context()), kFailed);
}

TEST_F(FtpTest, ActiveModeWorksToo) {
    Vsftpd vsftpd(m_folder, m_root);
    ASSERT_TRUE(vsftpd.Ok());
    ZephFTP ftp(m_settings);
    ASSERT_EQ(ftp.Open("127.0.0.1", vsftpd.Port(), "", "", false), 0);
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &memory, m_reports), 0);
    EXPECT_TRUE(Text(memory) == m_file);
}

TEST_F(FtpTest, ABufferThatHoldsTheStartIsResumedWithRest) {
    auto server = FaultServer("plain");
    ASSERT_TRUE(server->Ok());
    ZephFTP ftp(m_settings);
    ASSERT_EQ(ftp.Open("127.0.0.1", server->Port(), "", "", true), 0);
    ZephDataBufferMemoryDynamic buffer = Holding(m_file.substr(0, 1000));
    testing::internal::CaptureStdout();
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &buffer, m_reports), 0);
    const std::string diagnostics = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Text(buffer) == m_file);
    EXPECT_EQ(Count("REST 1000\n"), 1);
    EXPECT_NE(diagnostics.find("ZephFTP::GetFileAtPath> resuming download of \"patch.zip\" at "
                               "byte 1000\n"),
              std::string::npos)
        << diagnostics;

    // A complete buffer is complete, and an empty one needs no REST.
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &buffer, m_reports), 0);
    EXPECT_TRUE(Text(buffer) == m_file);
    ZephDataBufferMemoryDynamic empty;
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &empty, m_reports), 0);
    EXPECT_TRUE(Text(empty) == m_file);
    EXPECT_EQ(Count("REST "), 1);
}

TEST_F(FtpTest, ACutFirstTransferResumesWhereItStopped) {
    auto server = FaultServer("cut-first", 100000);
    ASSERT_TRUE(server->Ok());
    ZephUtil::CurrentDownload current;
    EXPECT_TRUE(ZephUtil::DownloadToFile(server->Url("patch.zip", "ftp"), m_folder / "d.zip",
                                         &current, Context()));
    EXPECT_TRUE(ReadFile(m_folder / "d.zip") == m_file);
    EXPECT_EQ(Count("REST 100000\n"), 1);
    EXPECT_EQ(Count("RETR patch.zip"), 2);

    // Without a second attempt the short transfer is what comes back: a failure.
    SetRetries(0, 0);
    WriteFile(m_root + "/other.zip", m_file);
    ZephDataBufferMemoryDynamic memory;
    EXPECT_EQ(FetchUrl(server->Url("other.zip", "ftp"), &memory, false, Context()), kFailed);
    EXPECT_EQ(memory.GetSize(), 100000u);
}

TEST_F(FtpTest, AServerThatRefusesRestSendsTheWholeFileAgain) {
    auto server = FaultServer("no-rest");
    ASSERT_TRUE(server->Ok());
    ZephFTP ftp(m_settings);
    ASSERT_EQ(ftp.Open("127.0.0.1", server->Port(), "", "", true), 0);
    ZephDataBufferMemoryDynamic buffer = Holding(std::string(1000, 'x'));
    testing::internal::CaptureStdout();
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &buffer, m_reports), 0);
    const std::string diagnostics = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Text(buffer) == m_file);
    EXPECT_EQ(Count("REST 1000\n"), 1);
    EXPECT_EQ(Count("RETR patch.zip"), 1);
    EXPECT_NE(diagnostics.find("ZephFTP::GetFileAtPath> unable to resume download of "
                               "\"patch.zip\" (error "),
              std::string::npos)
        << diagnostics;
    EXPECT_EQ(diagnostics.find("resuming download"), std::string::npos) << diagnostics;
}

TEST_F(FtpTest, AResetConnectionIsReopenedOnce) {
    auto server = FaultServer("reset");
    ASSERT_TRUE(server->Ok());
    ZephFTP ftp(m_settings);
    ASSERT_EQ(ftp.Open("127.0.0.1", server->Port(), "", "", true), 0);
    ZephDataBufferMemoryDynamic buffer;
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &buffer, m_reports), 0);
    EXPECT_TRUE(Text(buffer) == m_file);
    EXPECT_EQ(Count("USER anonymous"), 2);
    EXPECT_EQ(Count("RETR patch.zip"), 2);
}

TEST_F(FtpTest, MissingFilesAndMissingConnections) {
    ZephFTP ftp(m_settings);
    ZephDataBufferMemoryDynamic buffer;
    uint64_t size = 0;
    EXPECT_EQ(ftp.GetFileSize("patch.zip", &size), ZephUtil::kTransferNotConnected);
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &buffer, m_reports), ZephUtil::kTransferNotConnected);
    EXPECT_EQ(ftp.Open("127.0.0.1", FreePort(), "", "", true), kFailed);
    EXPECT_FALSE(ftp.IsConnected());
    EXPECT_EQ(ftp.GetFileAtPath("patch.zip", &buffer, m_reports), ZephUtil::kTransferNotConnected);

    auto server = FaultServer("plain");
    ASSERT_TRUE(server->Ok());
    EXPECT_EQ(FetchUrl(server->Url("missing.zip", "ftp"), &buffer, false, Context()), kFailed);
    EXPECT_EQ(Count("SIZE missing.zip"), 1) << "the server said it is not there";
    EXPECT_EQ(buffer.GetSize(), 0u);
    ASSERT_EQ(ftp.Open("127.0.0.1", server->Port(), "", "", true), 0);
    EXPECT_EQ(ftp.GetFileSize("patch.zip", &size), 0);
    EXPECT_EQ(size, m_file.size());
    EXPECT_EQ(ftp.GetFileAtPath("", &buffer, m_reports), kFailed);
    EXPECT_EQ(ftp.GetFileAtPath("sub/", &buffer, m_reports), kFailed);
    EXPECT_TRUE(ftp.LastFailureFinal());
    EXPECT_EQ(buffer.GetSize(), 0u);
    ftp.Close();
    EXPECT_EQ(ftp.GetFileSize("patch.zip", &size), ZephUtil::kTransferNotConnected);
}

TEST_F(FtpTest, ACancelEndsTheDownloadAtOnce) {
    WriteFile(m_root + "/big.zip", PatternBytes(8 << 20, 3));
    auto server = FaultServer("plain");
    ASSERT_TRUE(server->Ok());
    ZephDataBufferMemoryDynamic buffer;
    CancelWhen midway([&] { return buffer.GetSize() > 64 * 1024; });
    EXPECT_EQ(FetchUrl(server->Url("big.zip", "ftp"), &buffer, false, Context(midway)),
              ZephUtil::kTransferCancelled);
    EXPECT_LT(buffer.GetSize(), 8u << 20);
    EXPECT_EQ(Count("RETR big.zip"), 1);
}

TEST_F(FtpTest, AServerThatNeverAnswersFails) {
    SetRetries(0, 0);
    PythonServer silent(m_folder, "silent_server.py", {});
    ASSERT_TRUE(silent.Ok());
    ZephDataBufferMemoryDynamic buffer;
    EXPECT_EQ(FetchUrl(silent.Url("patch.zip", "ftp"), &buffer, false, Context()), kFailed);
}

// REST offsets and sizes beyond 4 GiB: a sparse file on the server, the local copy sparse too.
TEST_F(FtpTest, OffsetsBeyondFourGibibytes) {
    const uint64_t start = (5ull << 30) + 77;
    const std::string tail = PatternBytes(70000, 9);
    const std::string remote = m_root + "/huge.bin";
    WriteFile(remote, "");
    ASSERT_EQ(truncate(remote.c_str(), static_cast<off_t>(start)), 0);
    std::ofstream(remote, std::ios::binary | std::ios::app) << tail;
    Vsftpd vsftpd(m_folder, m_root);
    ASSERT_TRUE(vsftpd.Ok());

    uint64_t size = 0;
    EXPECT_EQ(GetUrlSize(vsftpd.Url("huge.bin"), &size, Context()), 0);
    EXPECT_EQ(size, start + tail.size());

    const std::string local = m_folder / "huge.local";
    WriteFile(local, "");
    {
        ZephUtil::ZephDataBufferFile file(local, ZephUtil::kFileReadWrite);
        ASSERT_EQ(file.SetSize(start), 0);
        EXPECT_EQ(FetchUrl(vsftpd.Url("huge.bin"), &file, false, Context()), 0);
        EXPECT_EQ(file.GetSize(), start + tail.size());
    }
    std::ifstream in(local, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(start));
    std::string got(tail.size(), '\0');
    in.read(got.data(), static_cast<std::streamsize>(got.size()));
    EXPECT_TRUE(got == tail);
}

}  // namespace
}  // namespace transfer_test
