// The remaining-time text and the progress the download query reports.
#include "session/download_progress.h"

#include <gtest/gtest.h>

#include "kernel/data_buffer.h"
#include "kernel/message_catalogue.h"
#include "session/orvik_patch_task.h"

namespace ZephPatch {
namespace {

constexpr uint64_t kKb = 1024;

class RemainingTimeTextTest : public ::testing::Test {
protected:
    RemainingTimeTextTest() { SetMessageLanguage(LANGUAGE_ENGLISH); }
    ~RemainingTimeTextTest() override { SetMessageLanguage(LANGUAGE_NEUTRAL); }

    static std::string Text(uint64_t received, uint64_t total, double seconds) {
        DownloadProgress progress;
        progress.received = received;
        progress.total = total;
        progress.elapsedSeconds = seconds;
        return RemainingTimeText(progress);
    }
};

TEST_F(RemainingTimeTextTest, MinutesAreTruncatedAndAtLeastOne) {
    // 9216 kB at 1024 kB per 30 s: 4.5 minutes.
    EXPECT_EQ(Text(1024 * kKb, 10240 * kKb, 30),
              "Download Progress 1024 kB of 10240 kB, 4 min remaining");
    EXPECT_EQ(Text(10239 * kKb, 10240 * kKb, 30),
              "Download Progress 10239 kB of 10240 kB, 1 min remaining");
    // Sizes drop their low 10 bits.
    EXPECT_EQ(Text(1024 * kKb + 1023, 10240 * kKb + 1023, 30),
              "Download Progress 1024 kB of 10240 kB, 4 min remaining");
}

TEST_F(RemainingTimeTextTest, HoursFormFromSixtyOneMinutes) {
    // 1024 kB in 64 s: 960 kB a minute.
    EXPECT_EQ(Text(1024 * kKb, (1024 + 61 * 960 - 1) * kKb, 64),
              "Download Progress 1024 kB of 59583 kB, 60 min remaining");
    EXPECT_EQ(Text(1024 * kKb, (1024 + 61 * 960) * kKb, 64),
              "Download Progress 1024 kB of 59584 kB, 1 hr 1 min remaining");
    EXPECT_EQ(Text(1024 * kKb, (1024 + 150 * 960) * kKb, 64),
              "Download Progress 1024 kB of 145024 kB, 2 hr 30 min remaining");
}

TEST_F(RemainingTimeTextTest, NoRateYetAndOddSizesGiveASaneText) {
    EXPECT_EQ(Text(0, 0, 30), "");  // the server announced no size
    EXPECT_EQ(Text(1024 * kKb, 10240 * kKb, 0),
              "Download Progress 1024 kB of 10240 kB, 1 min remaining");
    // Nothing (or less than a kB) arrived yet: no rate to divide by.
    EXPECT_EQ(Text(500, 10240 * kKb, 30), "Download Progress 0 kB of 10240 kB, 1 min remaining");
    // More arrived than was announced.
    EXPECT_EQ(Text(2048 * kKb, 1024 * kKb, 30),
              "Download Progress 2048 kB of 1024 kB, 1 min remaining");
    // A crawl towards an enormous total stays a number.
    const std::string slow = Text(kKb, uint64_t{1} << 62, 1e9);
    EXPECT_EQ(slow.rfind("Download Progress 1 kB of 4503599627370496 kB, ", 0), 0u) << slow;
    EXPECT_NE(slow.find(" hr "), std::string::npos) << slow;
}

TEST(OrvikPatchTask, ProgressOnlyWhileADownloadIsPublished) {
    OrvikPatchTask task;
    DownloadProgress progress;
    EXPECT_FALSE(task.QueryProgress(&progress));
    ZephUtil::ZephDataBufferMemoryDynamic file;
    task.BeginDownload(1000);
    {
        ZephUtil::PublishedDownload published(task.Download(), &file);
        const std::string bytes(250, 'x');
        ASSERT_EQ(published.Write(bytes.data(), 250), ZephUtil::kBufOk);
        ASSERT_TRUE(task.QueryProgress(&progress));
        EXPECT_EQ(progress.received, 250u);
        EXPECT_EQ(progress.total, 1000u);
        EXPECT_EQ(progress.percent, 25);
        EXPECT_GE(progress.elapsedSeconds, 0);
        ASSERT_EQ(published.Write(bytes.data(), 250), ZephUtil::kBufOk);
        ASSERT_EQ(published.Write(std::string(900, 'y').data(), 900), ZephUtil::kBufOk);
        ASSERT_TRUE(task.QueryProgress(&progress));
        EXPECT_EQ(progress.percent, 100);  // more than announced: full, not above
    }
    EXPECT_FALSE(task.QueryProgress(&progress));
    // The next download of unknown size starts again from no percentage.
    task.BeginDownload(0);
    ZephUtil::ZephDataBufferMemoryDynamic second;
    ZephUtil::PublishedDownload published(task.Download(), &second);
    ASSERT_TRUE(task.QueryProgress(&progress));
    EXPECT_EQ(progress.total, 0u);
    EXPECT_EQ(progress.percent, 0);
}

}  // namespace
}  // namespace ZephPatch
