#include "tools/zephpack/catalogue_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apply/patch_catalogue.h"
#include "tests/transfer/test_servers.h"

namespace transfer_test {
namespace {

int RunCatalogue(std::vector<std::string> args) {
    args.insert(args.begin(), "catalogue");
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    return ZephPack::RunCatalogueCommand(static_cast<int>(argv.size()), argv.data());
}

TEST(CatalogueCommandTest, WhatItWritesReadsBackAsGiven) {
    TestFolder folder;
    const std::string path = folder / "patches.txt";
    WriteFile(folder / "46957_to_48249.zip", "archive");
    WriteFile(folder / "\"", "");
    ASSERT_EQ(RunCatalogue({path, "46957", "48249", "46957_to_48249.zip", "48249", "50001",
                            "ftp://files.example.com:2121/b.zip", " 7 ", "\"8\"", "\""}),
              0);
    ZephPatch::PatchCatalogue catalogue;
    ASSERT_TRUE(catalogue.ParseCatalogue(ReadFile(path), "http://patches.example.com"));
    ASSERT_EQ(catalogue.Entries().size(), 3u);
    const auto* first = catalogue.FindPatch("46957");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->targetVersion, "48249");
    EXPECT_EQ(first->patchDataUrl, "http://patches.example.com/46957_to_48249.zip");
    EXPECT_EQ(first->patchExeUrl, "46957_to_48249.zip");
    // The local archive's size and SHA-256 ("archive"); none for one on another server.
    EXPECT_EQ(first->patchDataSize, 7u);
    ASSERT_TRUE(first->patchDataSha256);
    EXPECT_EQ(ZephPatch::Sha256Hex(*first->patchDataSha256),
              "0eb3e36bfb24dcd9bb1d1bece1531216b59539a8fde17ee80224af0653c92aa3");
    EXPECT_EQ(catalogue.FindPatch("48249")->patchDataUrl, "ftp://files.example.com:2121/b.zip");
    EXPECT_FALSE(catalogue.FindPatch("48249")->patchDataSize);
    // Spaces and quotes that the reader would strip survive.
    const auto* odd = catalogue.FindPatch(" 7 ");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->targetVersion, "\"8\"");
    EXPECT_EQ(odd->patchDataUrl, "http://patches.example.com/\"");
}

TEST(CatalogueCommandTest, RefusesWhatTheReaderWouldDropOrMisread) {
    TestFolder folder;
    const std::string path = folder / "patches.txt";
    EXPECT_EQ(RunCatalogue({path}), 2);
    EXPECT_EQ(RunCatalogue({path, "1", "2"}), 2);
    EXPECT_EQ(RunCatalogue({path, "1", "2", "a.zip", "3"}), 2);
    EXPECT_EQ(RunCatalogue({path, "1", "", "a.zip"}), 1);
    EXPECT_EQ(RunCatalogue({path, "1", "2", "a\nsource-version: 5"}), 1);
    EXPECT_EQ(RunCatalogue({path, "1", "../2", "a.zip"}), 1);
    EXPECT_EQ(RunCatalogue({path, "1", "2", "a.zip", "1", "3", "b.zip"}), 1);
    EXPECT_EQ(RunCatalogue({path, "1", "1", "a.zip"}), 1);
    // A relative archive that is not there would only fail on the players' side.
    EXPECT_EQ(RunCatalogue({path, "1", "2", "builds\\missing.zip"}), 1);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(RunCatalogue({folder / "missing/patches.txt", "1", "2", "a.zip"}), 1);
}

}  // namespace
}  // namespace transfer_test
