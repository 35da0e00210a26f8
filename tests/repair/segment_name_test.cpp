#include <gtest/gtest.h>

#include "repair/pattern_match.h"
#include "repair/segment_checksum.h"
#include "repair/segment_name.h"
#include "repair_test_support.h"

namespace {

using namespace ZephPatch;

TEST(SegmentNameTest, NamesBasesAndIndexes) {
    EXPECT_EQ(SegmentName("bin\\x.dll", 3), "bin\\x.dll#003");
    EXPECT_EQ(SegmentName("a", 1024), "a#1024");
    EXPECT_EQ(SegmentCount(0), 0u);
    EXPECT_EQ(SegmentCount(kSegmentSize), 1u);
    EXPECT_EQ(SegmentCount(kSegmentSize + 1), 2u);
    EXPECT_EQ(SegmentCount(uint64_t{1} << 40), uint64_t{1} << 18);

    EXPECT_EQ(SegmentIndex("a\\b#012"), 12);
    EXPECT_EQ(SegmentIndex("a\\b"), 0);
    EXPECT_EQ(SegmentIndex("a\\b#1x"), 0);
    EXPECT_EQ(SegmentIndex("a\\b#+7"), 7);
    EXPECT_EQ(SegmentIndex("a\\b#-7"), -7);
    EXPECT_EQ(SegmentIndex("a\\b#"), 0);
    EXPECT_EQ(SegmentIndex("a#5\\b"), 0);  // the '#' of a folder is no suffix
    EXPECT_EQ(SegmentIndex("a/b#99999999999999999999"), 0);
    EXPECT_EQ(SegmentBase("a\\b#012"), "a\\b");
    EXPECT_EQ(SegmentBase("a\\b"), "a\\b");
}

TEST(SegmentNameTest, NamesHoldingHashesKeepTheirSuffixApart) {
    const std::string key = SegmentName("c#\\data#1.bin", 2);
    EXPECT_EQ(SegmentBase(key), "c#\\data#1.bin");
    EXPECT_EQ(SegmentIndex(key), 2);
    EXPECT_TRUE(IsCanonicalSegmentName(key));
}

TEST(SegmentNameTest, OnlyCanonicalKeysAreAcceptedFromTheNetwork) {
    EXPECT_TRUE(IsCanonicalSegmentName("bin\\x.dll#000"));
    EXPECT_TRUE(IsCanonicalSegmentName("x#1024"));
    EXPECT_FALSE(IsCanonicalSegmentName("x"));
    EXPECT_FALSE(IsCanonicalSegmentName("x#-01"));
    EXPECT_FALSE(IsCanonicalSegmentName("x#+01"));
    EXPECT_FALSE(IsCanonicalSegmentName("x#1"));
    EXPECT_FALSE(IsCanonicalSegmentName("x#0001"));
    EXPECT_FALSE(IsCanonicalSegmentName("x#1x"));
    EXPECT_FALSE(IsCanonicalSegmentName("x#9999999999999"));  // past 2^63 bytes
}

TEST(SegmentChecksumTest, CheckValueAndFastFormAgreeWithTheTables) {
    EXPECT_EQ(UpdateSegmentChecksum(0, "123456789", 9), 0x89A1897Fu);
    EXPECT_EQ(UpdateSegmentChecksumPortable(0, "123456789", 9), 0x89A1897Fu);

    // Every length around the folding's 16- and 64-byte steps, started from odd states too.
    const RepairTest::Bytes data = RepairTest::RandomBytes(4096, 7);
    for (size_t length = 0; length <= 600; ++length)
        for (size_t split : {size_t{0}, length / 3, length}) {
            const uint32_t reference =
                UpdateSegmentChecksumPortable(UpdateSegmentChecksumPortable(0, data.data(), split),
                                              data.data() + split, length - split);
            const uint32_t fast = UpdateSegmentChecksum(
                UpdateSegmentChecksum(0, data.data(), split), data.data() + split, length - split);
            ASSERT_EQ(fast, reference) << "length " << length << " split " << split;
        }
    EXPECT_EQ(UpdateSegmentChecksum(0, data.data(), data.size()),
              UpdateSegmentChecksumPortable(0, data.data(), data.size()));
    EXPECT_EQ(FinishSegmentChecksum(0), 1u);
}

TEST(PatternTest, WholePathWithStarsAndLiteralQuestionMarks) {
    const std::vector<std::string> patterns = {"a*b*c"};
    EXPECT_TRUE(MatchesAnyPattern("axbyc", patterns));
    EXPECT_TRUE(MatchesAnyPattern("abbc", patterns));
    EXPECT_TRUE(MatchesAnyPattern("abc#004", patterns));  // the suffix does not count
    EXPECT_FALSE(MatchesAnyPattern("abcd", patterns));
    EXPECT_FALSE(MatchesAnyPattern("xabc", patterns));
    EXPECT_TRUE(MatchesAnyPattern("a?c", {"a?c"}));
    EXPECT_FALSE(MatchesAnyPattern("abc", {"a?c"}));
    EXPECT_TRUE(MatchesAnyPattern("anything", {"**"}));
    EXPECT_FALSE(MatchesAnyPattern("Repair.cks", {"repair.cks"}));
    EXPECT_FALSE(MatchesAnyPattern("sub\\repair.cks", {"repair.cks"}));
    EXPECT_FALSE(MatchesAnyPattern("x", {}));
}

}  // namespace
