#include "tools/zephpack/make_patch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "apply/md5.h"
#include "tests/support/test_folder.h"

namespace ZephPack {
namespace {
namespace fs = std::filesystem;

using orvik_test::ReadFile;
using orvik_test::TestFolder;
using orvik_test::WriteFile;

std::string Md5(const std::string& text) {
    ZephPatch::MD5 md5;
    md5.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    md5.finalize();
    return md5.hex_digest();
}

std::map<std::string, std::string> TreeOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            tree[fs::relative(item.path(), root).generic_string()] = ReadFile(item.path().string());
        }
    }
    return tree;
}

class ZephPackTest : public testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "old/same.txt", "same");
        WriteFile(dir / "old/bin/Engine.dll", std::string(5000, 'e') + "v1");
        WriteFile(dir / "old/bin/gone.dll", "gone");
        WriteFile(dir / "old/maps/z/last.oa", "map v1");
        WriteFile(dir / "new/same.txt", "same");
        WriteFile(dir / "new/bin/Engine.dll", std::string(5000, 'e') + "v2");
        WriteFile(dir / "new/maps/z/last.oa", "map v2");
        WriteFile(dir / "new/maps/a new/added.txt", "added");
        WriteFile(dir / "new/A.txt", "upper");
    }

    int Pack(const std::string& out, std::string* error) {
        return MakePatchDirectory(dir / "old", dir / "new", out, error);
    }

    TestFolder dir;
};

TEST_F(ZephPackTest, WritesTheListsAndDataOfAPatchDirectory) {
    std::string error;
    ASSERT_EQ(Pack(dir / "patch", &error), kPackOk) << error;
    EXPECT_EQ(ReadFile(dir / "patch/addedFiles.txt"),
              "A.txt\r\n" + Md5("upper") + "\r\n" + Md5("upper") + "\r\n" +
                  "maps\\a new\\added.txt\r\n" + Md5("added") + "\r\n" + Md5("added") + "\r\n");
    EXPECT_EQ(ReadFile(dir / "patch/deletedFiles.txt"),
              "bin\\gone.dll\r\n" + Md5("gone") + "\r\n" + Md5("gone") + "\r\n");
    EXPECT_EQ(ReadFile(dir / "patch/patchedFiles.txt"),
              "bin\\Engine.dll\r\n" + Md5(std::string(5000, 'e') + "v2") + "\r\n" +
                  Md5(std::string(5000, 'e') + "v1") + "\r\n" + "maps\\z\\last.oa\r\n" +
                  Md5("map v2") + "\r\n" + Md5("map v1") + "\r\n");

    std::vector<std::string> data;
    for (const auto& [path, content] : TreeOf(dir / "patch/data"))
        data.push_back(path);
    EXPECT_EQ(data, (std::vector<std::string>{"A.txt", "bin/Engine.dll.diff",
                                              "maps/a new/added.txt", "maps/z/last.oa.diff"}));
    EXPECT_EQ(ReadFile(dir / "patch/data/maps/a new/added.txt"), "added");
    EXPECT_LT(ReadFile(dir / "patch/data/bin/Engine.dll.diff").size(), 1000u);
}

TEST_F(ZephPackTest, SameTreesGiveTheSameBytes) {
    std::string error;
    ASSERT_EQ(Pack(dir / "one", &error), kPackOk) << error;
    ASSERT_EQ(Pack(dir / "two", &error), kPackOk) << error;
    EXPECT_EQ(TreeOf(dir / "one"), TreeOf(dir / "two"));
}

TEST_F(ZephPackTest, RefusesWhatCannotBePatched) {
    std::string error;
    WriteFile(dir / "used/x", "x");
    EXPECT_EQ(Pack(dir / "used", &error), kPackNotWritable);
    EXPECT_NE(error.find("new or empty"), std::string::npos) << error;

    WriteFile(dir / "new/bin/Engine.dll.diff", "added beside a changed file");
    EXPECT_EQ(Pack(dir / "p1", &error), kPackBadTree);
    EXPECT_NE(error.find("Engine.dll.diff"), std::string::npos) << error;
    fs::remove(dir / "new/bin/Engine.dll.diff");

    fs::remove(dir / "new/same.txt");
    WriteFile(dir / "new/same.txt/inner", "a file became a folder");
    EXPECT_EQ(Pack(dir / "p2", &error), kPackBadTree);
    EXPECT_NE(error.find("same.txt"), std::string::npos) << error;
    fs::remove_all(dir / "new/same.txt");

#ifndef _WIN32  // links cannot be made there
    fs::create_symlink("A.txt", dir / "new/link.txt");
    EXPECT_EQ(Pack(dir / "p3", &error), kPackBadTree);
    EXPECT_NE(error.find("link"), std::string::npos) << error;
    fs::remove(dir / "new/link.txt");
#endif

    EXPECT_EQ(MakePatchDirectory(dir / "missing", dir / "new", dir / "p4", &error), kPackBadTree);
    EXPECT_FALSE(fs::exists(dir / "p1") && !fs::is_empty(dir / "p1"));
}

}  // namespace
}  // namespace ZephPack
