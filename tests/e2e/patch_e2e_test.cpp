// A real patch from end to end: two trees of real files (hundreds, nested, some above
// 4 MiB), the patch directory made by zephpack, applied with the real difference tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "apply/apply_patch_directory.h"
#include "apply/patch_list.h"
#include "patch_trees.h"
#include "tests/support/recording_reporter.h"

namespace ZephPatch {
namespace {
namespace fs = std::filesystem;
using namespace ZephTest;

// Regular files (not links) below `root` whose size lies in [low, high), in path order.
std::vector<fs::path> RealFiles(const fs::path& root, uintmax_t low, uintmax_t high,
                                bool recursive) {
    std::vector<fs::path> found;
    auto consider = [&](const fs::directory_entry& item) {
        if (item.is_symlink() || !item.is_regular_file())
            return;
        const uintmax_t size = item.file_size();
        if (size >= low && size < high)
            found.push_back(item.path());
    };
    std::error_code ignored;
    if (recursive) {
        for (const auto& item : fs::recursive_directory_iterator(
                 root, fs::directory_options::skip_permission_denied, ignored)) {
            consider(item);
        }
    } else {
        for (const auto& item : fs::directory_iterator(root, ignored))
            consider(item);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A publisher's kind of change to a binary: bytes overwritten, a block inserted, the tail cut.
std::string EditBinary(std::string content, size_t seed) {
    const size_t size = content.size();
    for (size_t i = 0; i < std::min<size_t>(4096, size / 3); ++i) {
        content[size / 3 + i] = static_cast<char>(content[size / 3 + i] ^ (seed + i));
    }
    std::string block(std::min<size_t>(10000, size / 4 + 1), '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 13 + seed);
    content.insert(size * 2 / 3, block);
    content.resize(content.size() - std::min<size_t>(1000, size / 5));
    return content;
}

std::string EditText(std::string content, size_t seed) {
    content.insert(content.size() / 2,
                   "\nChanged in build 48249 (" + std::to_string(seed) + ").\n");
    if (content.size() > 40)
        content[20] = content[20] == 'x' ? 'y' : 'x';
    return content;
}

class PatchEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        const std::string olds = dir / "old";
        const std::string news = dir / "new";
        const auto small = RealFiles("/usr/share/doc", 1, 256 * 1024, true);
        const auto big =
            RealFiles("/usr/lib/x86_64-linux-gnu", 4 * 1024 * 1024 + 1, 6 * 1024 * 1024, false);
        ASSERT_GE(small.size(), 420u);
        ASSERT_GE(big.size(), 3u);

        for (size_t i = 0; i < 380; ++i) {
            const std::string rel = "docs/" + fs::relative(small[i], "/usr/share/doc").string();
            WriteFile(olds + "/" + rel, ReadFile(small[i]));
            if (i % 9 == 0)
                continue;  // deleted
            WriteFile(news + "/" + rel,
                      i % 5 == 0 ? EditText(ReadFile(small[i]), i) : ReadFile(small[i]));
        }
        for (size_t i = 380; i < 420; ++i) {  // added, in folders of their own
            WriteFile(news + "/extras/" + fs::relative(small[i], "/usr/share/doc").string(),
                      ReadFile(small[i]));
        }
        for (size_t i = 0; i < 2; ++i) {
            const std::string name = "bin/" + big[i].filename().string();
            WriteFile(olds + "/" + name, ReadFile(big[i]));
            WriteFile(news + "/" + name, EditBinary(ReadFile(big[i]), i));
        }
        WriteFile(news + "/bin/plugins/" + big[2].filename().string(), ReadFile(big[2]));
        WriteFile(olds + "/ZephLauncher.exe", ReadFile("/usr/bin/true"));
        WriteFile(news + "/ZephLauncher.exe", EditBinary(ReadFile("/usr/bin/true"), 7));
    }

    TestFolder dir;
};

TEST_F(PatchEndToEnd, ZephpackPatchAppliedWithTheRealToolGivesTheNewTree) {
    std::string output;
    ASSERT_EQ(
        RunProgram(ZEPHPACK_PROGRAM, {"diff", dir / "old", dir / "new", dir / "patch"}, &output), 0)
        << output;
    std::vector<PatchListEntry> added, deleted, patched;
    ASSERT_EQ(ReadPatchList(dir / "patch/addedFiles.txt", &added), ListReadResult::kOk);
    ASSERT_EQ(ReadPatchList(dir / "patch/deletedFiles.txt", &deleted), ListReadResult::kOk);
    ASSERT_EQ(ReadPatchList(dir / "patch/patchedFiles.txt", &patched), ListReadResult::kOk);
    EXPECT_EQ(added.size(), 41u);
    EXPECT_EQ(deleted.size(), 43u);
    EXPECT_EQ(patched.size(), 70u);  // 67 texts (every 5th, not the 9th), 2 binaries, launcher

    const std::string install = dir / "install";
    MakeInstallation(dir / "old", install);
    orvik_test::RecordingReporter reporter;
    ASSERT_TRUE(ApplyPatchDirectory(install, dir / "patch", "ZephLauncher.exe", reporter));
    for (const auto& [level, text] : reporter.lines)
        EXPECT_LT(level, 3) << text;

    // Byte for byte the new tree; no backup, journal or temporary log left.
    EXPECT_TRUE(InstalledFiles(install) == FilesOf(dir / "new"));

    std::vector<std::string> addedPaths;
    for (const auto& entry : added) {
        std::string path = entry.path;
        std::replace(path.begin(), path.end(), '\\', '/');
        addedPaths.push_back(path);
    }
    const auto log = ParseLogChecked(ReadBytes(install + "/" + kLogName));
    EXPECT_TRUE(log.records == LogRecordsAfter(install, addedPaths));
}

}  // namespace
}  // namespace ZephPatch
