#include "apply/patch_list.h"

#include <gtest/gtest.h>

#include "test_files.h"

namespace ZephPatch {
namespace {

const char kA[] = "0cc175b9c0f1b6a831c399e269772661";
const char kB[] = "92eb5ffee6ae2fec3ad71c777531578f";

std::vector<PatchListEntry> ReadFile(const std::string& text) {
    ZephTest::TestFolder dir;
    ZephTest::WriteFile(dir / "list.txt", text);
    std::vector<PatchListEntry> entries;
    EXPECT_EQ(ReadPatchList(dir / "list.txt", &entries), ListReadResult::kOk);
    return entries;
}

TEST(PatchList, EveryLineEndAndAMissingLastOne) {
    const std::string body[] = {"bin\\a.dll", kA, kB, "data\\b c.txt", kB, kA};
    for (const char* end : {"\r\n", "\n", "\r"}) {
        for (bool lastEnd : {true, false}) {
            std::string text;
            for (size_t i = 0; i < 6; ++i)
                text += body[i] + (i < 5 || lastEnd ? end : "");
            const auto entries = ReadFile(text);
            ASSERT_EQ(entries.size(), 2u) << testing::PrintToString(text);
            EXPECT_EQ(entries[0].path, "bin\\a.dll");
            EXPECT_EQ(entries[0].checksumAfter, kA);
            EXPECT_EQ(entries[0].checksumBefore, kB);
            EXPECT_EQ(entries[1].path, "data\\b c.txt");
            EXPECT_EQ(entries[1].checksumBefore, kA);
        }
    }
}

TEST(PatchList, LinesAreTakenAsTheyStand) {
    const auto entries = ReadFile("\xEF\xBB\xBF a\\x.txt \n\n\r\n");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, " a\\x.txt ") << "no trimming; the byte order mark is dropped";
    EXPECT_EQ(entries[0].checksumAfter, "");
    EXPECT_EQ(entries[0].checksumBefore, "");
    EXPECT_TRUE(ReadFile("").empty());
}

TEST(PatchList, MissingOrIncompleteLists) {
    ZephTest::TestFolder dir;
    std::vector<PatchListEntry> entries = {{"x", "y", "z"}};
    EXPECT_EQ(ReadPatchList(dir / "none.txt", &entries), ListReadResult::kCannotOpen);
    EXPECT_TRUE(entries.empty());

    for (const char* text : {"a\n", "a\nb\n", "a\nb\nc\nd", "a\nb\nc\n\n"}) {
        ZephTest::WriteFile(dir / "short.txt", text);
        entries = {{"x", "y", "z"}};
        EXPECT_EQ(ReadPatchList(dir / "short.txt", &entries), ListReadResult::kDamaged)
            << testing::PrintToString(text);
        EXPECT_TRUE(entries.empty());
    }
}

// A small archive may unpack to lists of nothing but line ends: they are refused at the caps
// instead of being held line by line.
TEST(PatchList, ListsBeyondTheCapsAreRefused) {
    ZephTest::TestFolder dir;
    std::vector<PatchListEntry> entries;
    ZephTest::WriteFile(dir / "huge.txt", std::string(kMaxPatchListBytes + 1, '\n'));
    EXPECT_EQ(ReadPatchList(dir / "huge.txt", &entries), ListReadResult::kTooLarge);

    std::string many;
    for (size_t i = 0; i < kMaxPatchListEntries; ++i)
        many += "a\n\n\n";
    ZephTest::WriteFile(dir / "many.txt", many);
    EXPECT_EQ(ReadPatchList(dir / "many.txt", &entries), ListReadResult::kOk);
    EXPECT_EQ(entries.size(), kMaxPatchListEntries);
    ZephTest::WriteFile(dir / "many.txt", many + "a\n\n\n");
    EXPECT_EQ(ReadPatchList(dir / "many.txt", &entries), ListReadResult::kTooLarge);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(ReadPatchList("/dev/zero", &entries), ListReadResult::kTooLarge);
}

TEST(PatchList, LastFileMovesOnlyItsFirstMatchToTheEnd) {
    std::vector<PatchListEntry> entries = {{"a\\one.dll", "", ""},
                                           {"ZephLauncher.exe", "", ""},
                                           {"b\\two.dll", "", ""},
                                           {"old\\ZephLauncher.exe.cfg", "", ""},
                                           {"c\\three.dll", "", ""}};
    MoveLastFileToEnd(&entries, "ZephLauncher.exe");
    std::vector<std::string> order;
    for (const auto& e : entries)
        order.push_back(e.path);
    EXPECT_EQ(order,
              (std::vector<std::string>{"a\\one.dll", "b\\two.dll", "old\\ZephLauncher.exe.cfg",
                                        "c\\three.dll", "ZephLauncher.exe"}));

    MoveLastFileToEnd(&entries, "zephlauncher.exe");
    EXPECT_EQ(entries.back().path, "ZephLauncher.exe") << "case-sensitive: nothing moves";
    MoveLastFileToEnd(&entries, "");
    EXPECT_EQ(entries.front().path, "a\\one.dll");
}

}  // namespace
}  // namespace ZephPatch
