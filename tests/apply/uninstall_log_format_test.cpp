#include "apply/uninstall_log_format.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_files.h"
#include "unins_log_helpers.h"

namespace ZephPatch {
namespace {

using ZephTest::BuildLog;
using ZephTest::EndInstallRecord;
using ZephTest::FillerRecord;
using ZephTest::LogRecord;
using ZephTest::ParseLogChecked;

struct Added {
    std::vector<uint8_t> bytes;
    std::vector<std::string> paths;
};

Added RecordsFor(const std::vector<std::string>& paths) {
    Added added{{}, paths};
    for (const auto& path : paths) {
        const auto record = DeleteFileRecord(path);
        added.bytes.insert(added.bytes.end(), record.begin(), record.end());
    }
    return added;
}

std::vector<std::string> ManyPaths(size_t count, size_t length) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i) {
        std::string path = "C:\\Velmor\\data\\file" + std::to_string(i) + "_";
        path.resize(length, 'x');
        paths.push_back(path);
    }
    return paths;
}

// Extends `log` and checks the result as the uninstaller would: every block, the header,
// the old records unchanged and in order, the new ones after them, the end-install record
// last, and every block before the rewritten one kept byte for byte.
std::vector<uint8_t> ExtendAndCheck(const std::vector<uint8_t>& log, const Added& added) {
    const ZephTest::ParsedLog before = ParseLogChecked(log);
    std::vector<uint8_t> out;
    EXPECT_EQ(ExtendUninstallLog(log, added.bytes, static_cast<uint32_t>(added.paths.size()), &out),
              LogExtendResult::kOk);
    const ZephTest::ParsedLog after = ParseLogChecked(out);
    const size_t oldCount = before.records.size();
    EXPECT_EQ(after.records.size(), oldCount + added.paths.size());
    if (after.records.size() != oldCount + added.paths.size() || oldCount == 0)
        return out;

    for (size_t i = 0; i + 1 < oldCount; ++i)
        EXPECT_EQ(after.records[i], before.records[i]);
    for (size_t i = 0; i < added.paths.size(); ++i) {
        const LogRecord& r = after.records[oldCount - 1 + i];
        EXPECT_EQ(r.type, 0x82);
        EXPECT_EQ(r.extra, 0u);
        EXPECT_EQ(ZephTest::DeletedPath(r), added.paths[i]);
    }
    EXPECT_EQ(after.records.back(), before.records.back());
    EXPECT_EQ(after.records.back().type, 0x11);

    // All blocks are full but the last; the kept ones are a byte-for-byte prefix.
    size_t keptBlocks = 0;
    size_t offset = 448;
    while (keptBlocks < before.blockSizes.size() && offset < out.size() &&
           std::equal(log.begin() + offset,
                      log.begin() + offset + 12 + before.blockSizes[keptBlocks],
                      out.begin() + offset)) {
        offset += 12 + before.blockSizes[keptBlocks++];
    }
    EXPECT_TRUE(std::equal(log.begin() + 12, log.begin() + 324, out.begin() + 12));
    for (size_t i = keptBlocks; i + 1 < after.blockSizes.size(); ++i) {
        EXPECT_EQ(after.blockSizes[i], 4096u) << "block " << i;
    }
    return out;
}

TEST(UninstallLogFormat, RecordLengthForms) {
    const auto r252 = DeleteFileRecord(std::string(252, 'a'));
    ASSERT_EQ(r252.size(), 10u + 252 + 2);
    EXPECT_EQ(std::vector<uint8_t>(r252.begin(), r252.begin() + 11),
              (std::vector<uint8_t>{0x82, 0, 0, 0, 0, 0, 254, 0, 0, 0, 252}));
    EXPECT_EQ(r252.back(), 0xFF);

    const auto r253 = DeleteFileRecord(std::string(253, 'a'));
    ASSERT_EQ(r253.size(), 10u + 253 + 4);
    EXPECT_EQ(std::vector<uint8_t>(r253.begin() + 6, r253.begin() + 13),
              (std::vector<uint8_t>{1, 1, 0, 0, 0xFD, 253, 0}));  // data size 257

    const auto big = DeleteFileRecord(std::string(70000, 'a'));
    ASSERT_EQ(big.size(), 10u + 70000 + 6);
    EXPECT_EQ(std::vector<uint8_t>(big.begin() + 10, big.begin() + 15),
              (std::vector<uint8_t>{0xFE, 0x70, 0x11, 0x01, 0x00}));
}

TEST(UninstallLogFormat, RealLogsFromTheSetupProgram) {
    const std::string folder = std::string(ORVIK_SOURCE_DIR) + "/tests/fixtures/unins/";
    for (const char* name : {"emu8086_unins000.dat", "git-for-windows_unins000.dat"}) {
        SCOPED_TRACE(name);
        const auto log = ZephTest::ReadBytes(folder + name);
        ASSERT_FALSE(log.empty());
        auto paths = ManyPaths(3, 40);
        paths.push_back(std::string(300, 'L'));
        const auto out = ExtendAndCheck(log, RecordsFor(paths));
        // A second patch extends the first one's result just as well.
        ExtendAndCheck(out, RecordsFor(ManyPaths(200, 80)));
    }
}

TEST(UninstallLogFormat, BuiltLogsOfEveryShape) {
    struct Shape {
        const char* name;
        std::vector<LogRecord> records;
        std::vector<size_t> blocks;
    };
    const LogRecord end8 = EndInstallRecord(true);
    const LogRecord end16 = EndInstallRecord(false);
    ASSERT_EQ(ZephTest::EncodeRecords({end8}).size(), 28u);
    ASSERT_EQ(ZephTest::EncodeRecords({end16}).size(), 32u);
    // 3000 + 1054 + 32 = 4096: the data ends on a block boundary.
    const std::vector<Shape> shapes = {
        {"short last block", {FillerRecord(500, 1), FillerRecord(90, 2), end16}, {}},
        {"8-bit end record", {FillerRecord(5000, 3), end8}, {}},
        {"exact boundary", {FillerRecord(2990, 4), FillerRecord(1054, 5), end16}, {}},
        {"end record only", {end16}, {}},
        {"short blocks in the middle",
         {FillerRecord(3000, 6), FillerRecord(2000, 7), FillerRecord(100, 8), end16},
         {4096, 1000, 100, 4096}},
        {"end record across short blocks", {FillerRecord(4086, 9), end16}, {4096, 10, 10}},
        {"end record across a full block", {FillerRecord(4076, 10), end8}, {}},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const auto log = BuildLog(shape.records, shape.blocks);
        ExtendAndCheck(log, RecordsFor(ManyPaths(1, 30)));
        ExtendAndCheck(log, RecordsFor(ManyPaths(150, 60)));  // crosses several blocks
        ExtendAndCheck(log, RecordsFor({std::string(252, 'p'), std::string(253, 'q')}));
    }
}

TEST(UninstallLogFormat, KeepsBlocksBeforeTheEndRecordAndEndsOnTheNewLength) {
    // Three full blocks, a short one written by a later install, then the last block.
    const auto log = BuildLog({FillerRecord(12000, 1), FillerRecord(2000, 2), FillerRecord(3000, 3),
                               EndInstallRecord(false)},
                              {4096, 4096, 4096, 1000});
    const auto out = ExtendAndCheck(log, RecordsFor(ManyPaths(2, 50)));
    const size_t kept = 448 + 3 * (12 + 4096) + 12 + 1000;
    ASSERT_GT(out.size(), kept);
    EXPECT_TRUE(std::equal(log.begin() + 448, log.begin() + kept, out.begin() + 448));
    // The last block held 3774 bytes; two records of 62 bytes join them.
    EXPECT_EQ(ParseLogChecked(out).blockSizes,
              (std::vector<uint32_t>{4096, 4096, 4096, 1000, 3774 + 2 * 62}));
}

TEST(UninstallLogFormat, NewDataEndingOnABlockBoundaryHasNoShortBlock) {
    // Last block: 4010 + 32 bytes; one record of 10 + 3 + 4136 + 1 bytes makes 8192.
    const auto log = BuildLog({FillerRecord(4000, 1), EndInstallRecord(false)});
    const auto out = ExtendAndCheck(log, RecordsFor({std::string(4136, 'z')}));
    EXPECT_EQ(ParseLogChecked(out).blockSizes, (std::vector<uint32_t>{4096, 4096}));
    EXPECT_EQ(out.size(), 448u + 2 * (12 + 4096));
}

TEST(UninstallLogFormat, LogsThatDoNotCheckOutAreRefused) {
    const auto good = BuildLog({FillerRecord(5000, 1), EndInstallRecord(false)});
    const Added added = RecordsFor(ManyPaths(2, 20));
    std::vector<uint8_t> out;
    ASSERT_EQ(ExtendUninstallLog(good, added.bytes, 2, &out), LogExtendResult::kOk);

    auto refused = [&](std::vector<uint8_t> log, const char* why) {
        EXPECT_EQ(ExtendUninstallLog(log, added.bytes, 2, &out), LogExtendResult::kNotRecognised)
            << why;
    };
    auto bad = good;
    bad[448 + 12 + 5] ^= 1;
    refused(bad, "block CRC");
    bad = good;
    bad[100] ^= 1;
    refused(bad, "header CRC");
    bad = good;
    bad.pop_back();
    refused(bad, "truncated");
    bad = good;
    bad.push_back(0);
    refused(bad, "trailing byte");
    refused({good.begin(), good.begin() + 300}, "shorter than a header");
    refused(BuildLog({FillerRecord(100, 1), EndInstallRecord(false), FillerRecord(10, 2)}),
            "end-install record not last");
    refused(BuildLog({FillerRecord(100, 1)}), "no end-install record");
    refused(BuildLog({}), "no records");
    {
        // Record data whose last record claims more bytes than there are.
        std::vector<uint8_t> data = ZephTest::EncodeRecords({FillerRecord(100, 1)});
        ZephTest::PutU32(data, 6, 120);
        std::vector<uint8_t> log(448, 0);
        log.resize(448 + 12);
        ZephTest::PutU32(log, 448, static_cast<uint32_t>(data.size()));
        ZephTest::PutU32(log, 452, ~static_cast<uint32_t>(data.size()));
        ZephTest::PutU32(log, 456, ZephTest::TestCrc32(data.data(), data.size()));
        log.insert(log.end(), data.begin(), data.end());
        ZephTest::PutU32(log, 444, ZephTest::TestCrc32(log.data(), 444));
        refused(log, "records do not frame");
    }
}

}  // namespace
}  // namespace ZephPatch
