// Downloads whose size and SHA-256 are known beforehand, over real servers: what matches
// arrives, what does not is a failed download, and retries that rewrite bytes keep the check
// right.
#include <gtest/gtest.h>

#include <algorithm>

#include "apply/sha256.h"
#include "tests/transfer/transfer_fixture.h"
#include "transfer/download.h"
#include "transfer/fetch.h"

namespace transfer_test {
namespace {

// Several times the bytes the hashing thread is handed at once.
constexpr size_t kSize = 3 * 1024 * 1024 + 12345;

class CheckedDownloadTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        WriteFile(m_www + "/a.zpa", m_content);
        ZephPatch::Sha256 sha;
        sha.Update(m_content.data(), m_content.size());
        m_expected = {m_content.size(), sha.Final()};
    }

    bool Download(const std::string& url, const ZephUtil::ExpectedContent& expected) {
        m_reports.lines.clear();
        return ZephUtil::DownloadToFile(url, m_local, &m_current, Context(), &expected);
    }
    std::string LastReport() const {
        return m_reports.lines.empty() ? "" : m_reports.lines.back().second;
    }
    std::string Hits(const std::string& path) {
        ZephUtil::ZephDataBufferMemoryDynamic answer;
        EXPECT_EQ(ZephUtil::FetchUrl(m_faults.Url("hits/" + path), &answer, true, Context()), 0);
        return Text(answer);
    }

    std::string m_www = m_folder / "www";
    std::string m_content = PatternBytes(kSize, 4);
    std::string m_local = m_folder / "local.zpa";
    ZephUtil::ExpectedContent m_expected;
    ZephUtil::CurrentDownload m_current;
    PythonServer m_faults{m_folder, "http_fault_server.py", {m_www}};
};

TEST_F(CheckedDownloadTest, MatchingContentArrivesOverEveryPath) {
    Vsftpd ftp(m_folder, m_www);
    ASSERT_TRUE(m_faults.Ok() && ftp.Ok());
    // Straight through; cut half-way and started over (the hash must start over too); FTP.
    for (const std::string& url :
         {m_faults.Url("plain/a.zpa"), m_faults.Url("cut-once/a.zpa"), ftp.Url("a.zpa")}) {
        EXPECT_TRUE(Download(url, m_expected)) << url << ": " << LastReport();
        EXPECT_TRUE(ReadFile(m_local) == m_content) << url;
    }
    EXPECT_EQ(Hits("cut-once/a.zpa"), "2");
}

TEST_F(CheckedDownloadTest, AnythingElseIsAFailedDownload) {
    ASSERT_TRUE(m_faults.Ok());
    const std::string url = m_faults.Url("plain/a.zpa");
    ZephUtil::ExpectedContent forged = m_expected;
    forged.sha256[0] ^= 1;
    EXPECT_FALSE(Download(url, forged));
    EXPECT_EQ(LastReport(), "The patch file " + url +
                                " does not match the signed catalogue: its SHA-256 differs.");

    ZephUtil::ExpectedContent longer = m_expected;
    longer.size += 1;
    EXPECT_FALSE(Download(url, longer));
    EXPECT_EQ(LastReport(),
              "The patch file " + url + " does not match the signed catalogue: it has " +
                  std::to_string(kSize) + " bytes, not " + std::to_string(kSize + 1) + ".");

    // A server sending more than vouched for is stopped at the bound and not asked again.
    ZephUtil::ExpectedContent shorter = m_expected;
    shorter.size -= 1;
    EXPECT_FALSE(Download(url, shorter));
    EXPECT_EQ(LastReport(), "The patch file " + url +
                                " does not match the signed catalogue: it is "
                                "larger than " +
                                std::to_string(kSize - 1) + " bytes.");
    EXPECT_LT(ReadFile(m_local).size(), kSize);
    EXPECT_EQ(Hits("plain/a.zpa"), "3");
}

// An http retry empties the file and writes it again; what the hashing thread had read of the
// first attempt must not count.
TEST_F(CheckedDownloadTest, BytesRewrittenAfterHashingAreHashedAgain) {
    ZephUtil::ZephDataBufferFile file(m_local, ZephUtil::kFileWrite);
    ZephUtil::CheckedFileBuffer checked(&file, m_local, m_expected);
    const auto writeAll = [&](const std::string& bytes) {
        for (size_t at = 0; at < bytes.size(); at += 16384) {
            const auto count = static_cast<uint32_t>(std::min<size_t>(16384, bytes.size() - at));
            ASSERT_EQ(checked.Write(bytes.data() + at, count), ZephUtil::kBufOk);
        }
    };
    writeAll(PatternBytes(kSize / 2, 5));
    ASSERT_EQ(checked.SetSize(0), ZephUtil::kBufOk);
    ASSERT_EQ(checked.Seek(0), ZephUtil::kBufOk);
    writeAll(m_content);
    EXPECT_EQ(checked.Mismatch(), "");
}

}  // namespace
}  // namespace transfer_test
