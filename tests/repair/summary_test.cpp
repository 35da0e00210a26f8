#include <algorithm>
#include <chrono>
#include <map>

#include "kernel/buffers/data_buffer.h"
#include "repair/file_tree_summary.h"
#include "repair/segment_checksum.h"
#include "repair/segment_io.h"
#include "repair/segment_name.h"
#include "repair/wire_format.h"
#include "repair_test_support.h"

namespace {

using namespace ZephPatch;
using namespace RepairTest;

uint32_t ChecksumOf(const Bytes& bytes, size_t from = 0, size_t length = SIZE_MAX) {
    length = std::min(length, bytes.size() - from);
    return FinishSegmentChecksum(UpdateSegmentChecksum(0, bytes.data() + from, length));
}

void SetModifiedTime(const fs::path& path, time_t seconds) {
    std::error_code error;
    fs::last_write_time(
        path, fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(seconds)),
        error);
    ASSERT_FALSE(error) << error.message();
}

std::vector<std::string> Keys(const FileTreeSummary& summary) {
    std::vector<std::string> keys;
    for (const auto& [key, entry] : summary.Snapshot())
        keys.push_back(key);
    return keys;
}

class SummaryTest : public TempFolderTest {
protected:
    std::string Root() const { return m_folder.string(); }
    // Held by pointer: the summary's mutex may throw from its destructor, a fixture's may not.
    std::unique_ptr<FileTreeSummary> m_owned = std::make_unique<FileTreeSummary>();
    FileTreeSummary& m_summary = *m_owned;
    void Rescan() { ASSERT_EQ(m_summary.Scan(Root(), {"repair.cks", "unins000.exe"}), 0); }
    SummaryEntry Row(const std::string& key) {
        const SummaryMap rows = m_summary.Snapshot();
        auto found = rows.find(key);
        return found == rows.end() ? SummaryEntry{} : found->second;
    }
};

TEST_F(SummaryTest, SegmentsAtTheSizeBoundaries) {
    const Bytes plus = RandomBytes(kSegmentSize + 1, 1);
    WriteBytes(m_folder / "empty.bin", {});
    WriteBytes(m_folder / "exact.bin", RandomBytes(kSegmentSize, 2));
    WriteBytes(m_folder / "plus.bin", plus);
    Rescan();
    EXPECT_EQ(Keys(m_summary),
              (std::vector<std::string>{"exact.bin#000", "plus.bin#000", "plus.bin#001"}));
    EXPECT_EQ(Row("plus.bin#000").checksum, ChecksumOf(plus, 0, kSegmentSize));
    EXPECT_EQ(Row("plus.bin#001").checksum, ChecksumOf(plus, kSegmentSize));
    EXPECT_TRUE(Row("plus.bin#001").present);

    // A segment starting exactly at the end of the file reads as nothing; one past it fails.
    const std::string exact = (m_folder / "exact.bin").string();
    SegmentBytes bytes;
    EXPECT_TRUE(ReadFileSegment(SegmentName(exact, 1), &bytes));
    EXPECT_EQ(bytes.length, 0u);
    EXPECT_FALSE(ReadFileSegment(SegmentName(exact, 2), &bytes));
    EXPECT_FALSE(ReadFileSegment(SegmentName((m_folder / "missing").string(), 0), &bytes));
    EXPECT_EQ(ChecksumSegment(SegmentName((m_folder / "missing").string(), 0)), 0u);
}

TEST_F(SummaryTest, AComputedChecksumOfZeroIsStoredAsOne) {
    WriteBytes(m_folder / "zeros.bin", Bytes(4096, 0));  // zeros leave the register at 0
    Rescan();
    EXPECT_EQ(Row("zeros.bin#000").checksum, 1u);
}

TEST_F(SummaryTest, SegmentsOfFilesBeyondFourGiB) {
    const fs::path big = m_folder / "big.bin";
    const Bytes tail = RandomBytes(10, 3);
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(uint64_t{1} << 32));
        out.write(reinterpret_cast<const char*>(tail.data()), 10);
    }
    SegmentBytes bytes;
    ASSERT_TRUE(ReadFileSegment(SegmentName(big.string(), 1024), &bytes));
    EXPECT_EQ(Bytes(bytes.data.get(), bytes.data.get() + bytes.length), tail);
    EXPECT_EQ(ChecksumSegment(SegmentName(big.string(), 1024)), ChecksumOf(tail));
    EXPECT_EQ(SegmentCount(fs::file_size(big)), 1025u);
}

TEST_F(SummaryTest, UnchangedTimeStampKeepsTheStoredChecksum) {
    const fs::path file = m_folder / "data.bin";
    const Bytes before = RandomBytes(1000, 4);
    WriteBytes(file, before);
    SetModifiedTime(file, 1000000);
    Rescan();
    ASSERT_EQ(Row("data.bin#000").checksum, ChecksumOf(before));

    const Bytes after = RandomBytes(1000, 5);
    WriteBytes(file, after);
    SetModifiedTime(file, 1000000);
    Rescan();
    EXPECT_EQ(Row("data.bin#000").checksum, ChecksumOf(before));

    SetModifiedTime(file, 1000001);
    Rescan();
    EXPECT_EQ(Row("data.bin#000").checksum, ChecksumOf(after));
    EXPECT_EQ(Row("data.bin#000").modifiedTime, 1000001);
}

TEST_F(SummaryTest, RescanDropsDeletedFilesAndSegmentsPastANewEnd) {
    WriteBytes(m_folder / "shrinks.bin", RandomBytes(2 * kSegmentSize + 5, 6));
    WriteBytes(m_folder / "sub/goes.bin", RandomBytes(10, 7));
    WriteBytes(m_folder / "sub/empties.bin", RandomBytes(10, 8));
    Rescan();
    ASSERT_EQ(m_summary.Size(), 5u);

    fs::resize_file(m_folder / "shrinks.bin", kSegmentSize + 1);
    fs::remove(m_folder / "sub/goes.bin");
    fs::resize_file(m_folder / "sub/empties.bin", 0);
    Rescan();
    EXPECT_EQ(Keys(m_summary), (std::vector<std::string>{"shrinks.bin#000", "shrinks.bin#001"}));
}

TEST_F(SummaryTest, ExclusionsAndLinkedFolders) {
#ifdef _WIN32
    GTEST_SKIP() << "makes symbolic links, which this Windows runtime cannot";
#endif
    WriteBytes(m_folder / "repair.cks", {1});
    WriteBytes(m_folder / "unins000.exe", {2});
    WriteBytes(m_folder / "sub/unins000.exe", {3});
    WriteBytes(m_folder / "sub/deeper/file", {4});
    // A link back up would make the walk endless if it were followed.
    fs::create_directory_symlink("..", m_folder / "sub/up");
    Rescan();
    EXPECT_EQ(Keys(m_summary),
              (std::vector<std::string>{"sub\\deeper\\file#000", "sub\\unins000.exe#000"}));
}

// Folders are listed and segments checksummed by several threads at once: no folder may be
// lost, no file listed twice, no checksum land in another file's row.
TEST_F(SummaryTest, AWideDeepTreeIsFoundWholeWithEachFilesChecksum) {
    std::map<std::string, Bytes> expected;
    for (uint32_t i = 0; i < 240; ++i) {
        const std::string folder = "d" + std::to_string(i % 3) + "/e" + std::to_string(i % 5);
        const std::string sub = i % 2 ? "/f" + std::to_string(i % 7) : "";
        const std::string name = folder + sub + "/x" + std::to_string(i);
        expected[name] = RandomBytes(1 + i * 37, i);
        WriteBytes(m_folder / name, expected[name]);
    }
    fs::create_directories(m_folder / "empty/a/b");
    Rescan();
    ASSERT_EQ(m_summary.Size(), expected.size());
    for (const auto& [name, bytes] : expected) {
        std::string key = name;
        std::replace(key.begin(), key.end(), '/', '\\');
        EXPECT_EQ(Row(key + "#000").checksum, ChecksumOf(bytes)) << key;
    }
}
TEST_F(SummaryTest, RegisteredSegmentsShareTheFileTime) {
    const fs::path file = m_folder / "f.bin";
    WriteBytes(file, RandomBytes(3 * kSegmentSize, 9));
    SetModifiedTime(file, 2000000);
    Rescan();
    SetModifiedTime(file, 2000005);
    // A given checksum is stored as it is and stamps every row of the file.
    ASSERT_TRUE(m_summary.RegisterSegment(SegmentName(file.string(), 1), "f.bin#001", 0x1234));
    EXPECT_EQ(Row("f.bin#001").checksum, 0x1234u);
    for (const char* key : {"f.bin#000", "f.bin#001", "f.bin#002"})
        EXPECT_EQ(Row(key).modifiedTime, 2000005) << key;
    EXPECT_FALSE(
        m_summary.RegisterSegment(SegmentName((m_folder / "none").string(), 0), "none#000", 5));

    m_summary.RemoveSegmentsAfter("f.bin#000");
    EXPECT_EQ(Keys(m_summary), (std::vector<std::string>{"f.bin#000"}));
    m_summary.RemoveSegment("f.bin#000");
    EXPECT_EQ(m_summary.Size(), 0u);
}

TEST_F(SummaryTest, StoredFormatByteForByteAndBack) {
    const fs::path file = m_folder / "d" / orvik_test::Utf8Path("\xC3\xBC.txt");  // "ü.txt"
    const Bytes content = {1, 2, 3};
    WriteBytes(file, content);
    SetModifiedTime(file, 0x0102030405LL);
    Rescan();

    ZephUtil::ZephDataBufferMemoryDynamic stored;
    ASSERT_EQ(m_summary.Save(stored), 0);
    const uint32_t checksum = ChecksumOf(content);
    Bytes expected = {'0', 's', 't', 'f', 1, 0, 0, 0, 11, 0, 0, 0};
    for (char16_t unit : std::u16string(u"d\\\u00FC.txt#000")) {
        expected.push_back(static_cast<uint8_t>(unit));
        expected.push_back(static_cast<uint8_t>(unit >> 8));
    }
    for (int shift = 0; shift < 32; shift += 8)
        expected.push_back(static_cast<uint8_t>(checksum >> shift));
    for (uint8_t b : {5, 4, 3, 2, 1, 0, 0, 0})
        expected.push_back(b);
    EXPECT_EQ(stored.Bytes(), expected);

    FileTreeSummary loaded;
    ASSERT_EQ(stored.Seek(0), 0);
    ASSERT_EQ(loaded.Load(stored), 0);
    const SummaryEntry row = loaded.Snapshot().at("d\\\xC3\xBC.txt#000");
    EXPECT_EQ(row.checksum, checksum);
    EXPECT_EQ(row.modifiedTime, 0x0102030405LL);
    EXPECT_FALSE(row.present);
}

TEST_F(SummaryTest, LoadRefusesBadMagicShortStreamsAndOverlongNames) {
    WriteBytes(m_folder / "a", {1});
    WriteBytes(m_folder / "b", {2});
    Rescan();
    ZephUtil::ZephDataBufferMemoryDynamic stored;
    ASSERT_EQ(m_summary.Save(stored), 0);

    FileTreeSummary loaded;
    Bytes bytes = stored.Bytes();
    bytes[0] = 'x';
    auto badMagic = ZephUtil::ZephDataBufferMemoryStatic::CopyOf(bytes.data(), bytes.size());
    EXPECT_EQ(loaded.Load(badMagic), kSummaryBadMagic);
    EXPECT_EQ(loaded.Size(), 0u);

    // Cut inside the second entry: the first stays, the short read is the result.
    bytes = stored.Bytes();
    auto cut = ZephUtil::ZephDataBufferMemoryStatic::CopyOf(bytes.data(), bytes.size() - 3);
    EXPECT_EQ(loaded.Load(cut), ZephUtil::kBufOutOfRange);
    EXPECT_EQ(Keys(loaded), (std::vector<std::string>{"a#000"}));

    // A name longer than any path is refused before anything is read or allocated for it.
    const Bytes overlong = {'0', 's', 't', 'f', 1, 0, 0, 0, 0x01, 0x90, 0, 0};  // 36865 units
    auto hostile = ZephUtil::ZephDataBufferMemoryStatic::CopyOf(overlong.data(), overlong.size());
    EXPECT_EQ(loaded.Load(hostile), ZephUtil::kBufOutOfRange);
    EXPECT_EQ(loaded.Size(), 0u);
}

TEST(SummaryOrderTest, KeysFollowUtf16CodeUnits) {
    Utf16KeyOrder less;
    const std::string privateUse = "\xEE\x80\x80";     // U+E000
    const std::string beyondBmp = "\xF0\x90\x80\x80";  // U+10000, a surrogate pair
    EXPECT_TRUE(less(beyondBmp, privateUse));
    EXPECT_FALSE(less(privateUse, beyondBmp));
    EXPECT_TRUE(less("a", "b"));
    EXPECT_TRUE(less("a", "a#000"));
    EXPECT_FALSE(less("a#000", "a#000"));
    EXPECT_TRUE(less("z", privateUse));
    // After a long shared folder prefix, the difference at every place in an eight-byte word.
    const std::string folder = "pack00\\dir000\\asset";
    for (size_t cut = 0; cut <= folder.size(); ++cut) {
        const std::string prefix = folder.substr(0, cut);
        EXPECT_TRUE(less(prefix + beyondBmp, prefix + privateUse)) << cut;
        EXPECT_TRUE(less(prefix + "a", prefix + "b")) << cut;
        EXPECT_FALSE(less(prefix + "b", prefix + "a")) << cut;
        EXPECT_TRUE(less(prefix, prefix + "a")) << cut;
    }
}

// Names go out as UTF-16 units: ASCII takes a shortcut both ways, which must not catch a unit
// whose low byte merely looks like ASCII.
TEST(WireStringTest, NamesKeepEveryUnitBothWays) {
    const std::pair<std::string, Bytes> cases[] = {
        {"a.b", {'a', 0, '.', 0, 'b', 0}},
        {"\xC5\x81", {0x41, 0x01}},                      // U+0141
        {"x\xC3\xBC", {'x', 0, 0xFC, 0}},                // U+00FC
        {"\xF0\x90\x80\x80", {0x00, 0xD8, 0x00, 0xDC}},  // U+10000
    };
    for (const auto& [name, units] : cases) {
        WireWriter out;
        out.String(name);
        Bytes expected = {static_cast<uint8_t>(units.size() / 2), 0, 0, 0};
        expected.insert(expected.end(), units.begin(), units.end());
        EXPECT_EQ(out.Bytes(), expected) << name;
        auto in = ZephUtil::ZephDataBufferMemoryStatic::CopyOf(expected.data(), expected.size());
        std::string read;
        ASSERT_EQ(ReadWireString(in, &read), ZephUtil::kBufOk);
        EXPECT_EQ(read, name);
    }
}

}  // namespace
