#include "apply/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_files.h"

namespace ZephPatch {
namespace {

std::string DigestOf(const std::string& text) {
    MD5 md5;
    md5.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    md5.finalize();
    return md5.hex_digest();
}

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(DigestOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(DigestOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(DigestOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(DigestOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(DigestOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(DigestOf("1234567890123456789012345678901234567890123456789012345678901234567890"
                       "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

// Padding lengths around the 56-byte mark and input split at every kind of block boundary.
TEST(Md5, PiecewiseInputGivesTheSameDigest) {
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 200000u}) {
        MD5 whole;
        whole.update(data.data(), length);
        whole.finalize();
        for (size_t piece : {1u, 7u, 63u, 64u, 65u, 4097u}) {
            MD5 pieces;
            for (size_t at = 0; at < length; at += piece) {
                pieces.update(data.data() + at, std::min(piece, length - at));
            }
            pieces.finalize();
            EXPECT_EQ(pieces.hex_digest(), whole.hex_digest()) << length << " by " << piece;
        }
    }
    EXPECT_EQ(DigestOf(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, MisuseIsReportedAndIgnored) {
    MD5 md5;
    testing::internal::CaptureStderr();
    EXPECT_EQ(md5.hex_digest(), "");
    md5.update(reinterpret_cast<const uint8_t*>("abc"), 3);
    md5.finalize();
    md5.finalize();
    md5.update(reinterpret_cast<const uint8_t*>("x"), 1);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors,
              "MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n"
              "MD5::finalize:  Already finalized this digest!\n"
              "MD5::update:  Can't update a finalized digest!\n");
    EXPECT_EQ(md5.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, FileDigest) {
    ZephTest::TestFolder dir;
    ZephTest::WriteFile(dir / "empty", "");
    ZephTest::WriteFile(dir / "abc", "abc");
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 251);
    ZephTest::WriteFile(dir / "big", big);

    std::string out;
    ASSERT_TRUE(FileMd5Hex(dir / "empty", &out));
    EXPECT_EQ(out, "d41d8cd98f00b204e9800998ecf8427e");
    ASSERT_TRUE(FileMd5Hex(dir / "abc", &out));
    EXPECT_EQ(out, "900150983cd24fb0d6963f7d28e17f72");
    ASSERT_TRUE(FileMd5Hex(dir / "big", &out));
    EXPECT_EQ(out, DigestOf(big));

    out = "unchanged";
    EXPECT_FALSE(FileMd5Hex(dir / "missing", &out));
    EXPECT_EQ(out, "unchanged");
    EXPECT_FALSE(FileMd5Hex(dir.Path(), &out)) << "a folder has no digest";
    EXPECT_EQ(out, "unchanged");
}

}  // namespace
}  // namespace ZephPatch
