#include "kernel/files/file_utils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#ifdef _WIN32
#include <share.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "file_utils_fixture.h"
#include "kernel/files/folder_lock.h"

namespace ZephUtil {
namespace {

TEST(PathNamesTest, JoinAndSplit) {
    EXPECT_EQ(JoinPath("a/", "b"), "a/b");
    EXPECT_EQ(JoinPath("a\\", "b"), "a\\b");
    EXPECT_EQ(JoinPath("a", "b"), "a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(FileNamePart("x/y\\name.txt"), "name.txt");
    EXPECT_EQ(FileNamePart("plain"), "plain");
    EXPECT_EQ(NormaliseSeparators("a/b\\c", '\\'), "a\\b\\c");
    EXPECT_EQ(FsPath("a\\b/c"), "a/b/c");
}

TEST(PathNamesTest, StemAndExtensionLookOnlyAtTheLastComponent) {
    EXPECT_EQ(PathStem("dir.d/name"), "dir.d/name");
    EXPECT_EQ(PathExtension("dir.d/name"), "");
    EXPECT_EQ(PathStem("dir.d\\name"), "dir.d\\name");
    EXPECT_EQ(PathStem("a/b.tar.gz"), "a/b.tar");
    EXPECT_EQ(PathExtension("a/b.tar.gz"), "gz");
    EXPECT_EQ(PathStem("file."), "file");
    EXPECT_EQ(PathExtension("file."), "");
}

TEST(PathNamesTest, RelativePathDropsTheCommonPrefixAndOneSeparator) {
    EXPECT_EQ(RelativePath("/opt/velmor/bin/x.dll", "/opt/velmor"), "bin\\x.dll");
    EXPECT_EQ(RelativePath("/opt/velmor/bin/x.dll", "/opt/velmor/"), "bin\\x.dll");
    EXPECT_EQ(RelativePath("C:\\game\\repair.cks", "C:/game"), "repair.cks");
    EXPECT_EQ(RelativePath("/opt/velmor", "/opt/velmor"), "");
}

TEST(PathNamesTest, SafeRelativeNames) {
    struct Case {
        std::string name;
        const char* safe;  // null: refused
    };
    const Case cases[] = {
        {"bin\\VelmorUtil.exe", "bin/VelmorUtil.exe"},
        {".\\data\\a.txt", "data/a.txt"},
        {"a/b\\c", "a/b/c"},
        {"a\\\\b\\", "a/b"},
        {"dir\\..name", "dir/..name"},
        {"", nullptr},
        {".\\", nullptr},
        {"\\abs", nullptr},
        {"/abs", nullptr},
        {"C:\\x", nullptr},
        {"C:x", nullptr},
        {"a\\file:stream", nullptr},
        {"..\\x", nullptr},
        {"a\\..\\..\\x", nullptr},
        {"a/..", nullptr},
        {std::string("a\0b", 3), nullptr},
    };
    for (const Case& c : cases) {
        std::string out = "untouched";
        bool ok = ToSafeRelativePath(c.name, &out);
        EXPECT_EQ(ok, c.safe != nullptr) << c.name;
        EXPECT_EQ(out, c.safe ? c.safe : "untouched") << c.name;
    }
}

TEST_F(FileUtilsTest, MakeDirectoryMakesParentsAndRefusesFiles) {
    EXPECT_TRUE(MakeDirectory(m_dir + "\\a\\b\\c\\"));
    EXPECT_TRUE(IsDirectory(Path("a/b/c")));
    EXPECT_TRUE(MakeDirectory(Path("a/b")));  // already there
    EXPECT_FALSE(MakeDirectory(""));

    MakeFile("a/file");
    errno = 0;
    EXPECT_FALSE(MakeDirectory(Path("a/file")));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(MakeDirectory(Path("a/file/below")));
}

TEST_F(FileUtilsTest, QueriesAndReadOnly) {
    std::string file = MakeFile("f.txt", "12345");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(m_dir));
    EXPECT_FALSE(FileExists(Path("missing")));
    EXPECT_TRUE(IsDirectory(m_dir));
    EXPECT_FALSE(IsDirectory(file));

    uint64_t value = 99;
    EXPECT_EQ(GetFileSizeOf(m_dir + "\\f.txt", &value), 0);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(GetFileSizeOf(Path("missing"), &value), 2);
    EXPECT_EQ(value, 0u);

    EXPECT_TRUE(SetReadOnly(file));
    EXPECT_TRUE(SetReadOnly(file));
    EXPECT_TRUE(ClearReadOnly(file));
    EXPECT_FALSE(SetReadOnly(Path("missing")));
}

TEST_F(FileUtilsTest, SizeOfAFileBeyondFourGiB) {
    std::string file = Path("sparse");
    int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    const uint64_t size = (4ull << 30) + 12345;
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    close(fd);
    uint64_t got = 0;
    EXPECT_EQ(GetFileSizeOf(file, &got), 0);
    EXPECT_EQ(got, size);
}

// UTF-8 names reach the system unchanged: open, sync, replace by rename, read, delete.
TEST_F(FileUtilsTest, FileCallsTakeUtf8NamesAndRenamesReplace) {
    const std::string name = Path("caf\xc3\xa9 \xe2\x9c\x93.txt");
    const int fd = OpenFile(name, O_WRONLY | O_CREAT | O_TRUNC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "new\n", 4), 4);
    EXPECT_TRUE(SyncFile(fd));
    close(fd);
    const std::string target = MakeFile("target", "old");
    EXPECT_TRUE(RenameReplacing(name, target));
    EXPECT_FALSE(FileExists(name));
    std::string text;
    EXPECT_EQ(ReadFileCapped(target, 100, &text), CappedRead::kOk);
    EXPECT_EQ(text, "new\n");
    EXPECT_FALSE(RenameReplacing(Path("missing"), target));
    uint64_t free = 0;
    EXPECT_TRUE(FreeDiskSpace(m_dir, &free));
    EXPECT_GT(free, 0u);
    EXPECT_FALSE(FreeDiskSpace(Path("missing/below"), &free));
}

TEST_F(FileUtilsTest, DeleteFileAt) {
    EXPECT_FALSE(DeleteFileAt(""));
    EXPECT_FALSE(DeleteFileAt(Path("missing")));
    EXPECT_TRUE(DeleteFileAt(MakeFile("gone")));
    EXPECT_FALSE(FileExists(Path("gone")));
}

TEST_F(FileUtilsTest, DeleteTreeRemovesEverythingButNeverFollowsLinks) {
    MakeDirectory(Path("tree/a/b"));
    MakeFile("tree/top");
    MakeFile("tree/a/b/deep");
    MakeDirectory(Path("outside"));
    std::string kept = MakeFile("outside/kept");
    std::error_code linkError;
    std::filesystem::create_directory_symlink(Path("outside"), Path("tree/a/link"), linkError);
    if (linkError)
        GTEST_SKIP() << "no folder links here: " << linkError.message();
    EXPECT_TRUE(DeleteTree(Path("tree")));
    EXPECT_FALSE(FileExists(Path("tree")));
    EXPECT_TRUE(FileExists(kept));
    EXPECT_FALSE(DeleteTree(Path("tree")));
    EXPECT_FALSE(DeleteTree(""));
}

TEST_F(FileUtilsTest, ListFolderGivesFullPaths) {
    MakeDirectory(Path("list/sub"));
    MakeFile("list/b.txt");
    MakeFile("list/a.txt");
    std::set<std::string> entries;
    EXPECT_EQ(ListFolder(m_dir + "\\list", &entries), 0);
    EXPECT_EQ(entries,
              (std::set<std::string>{Path("list/a.txt"), Path("list/b.txt"), Path("list/sub")}));
    EXPECT_EQ(ListFolder(Path("missing"), &entries), 4);
}

TEST_F(FileUtilsTest, MakeTempNameCountsUp) {
    std::string first = MakeTempName(m_dir);
    std::string second = MakeTempName(m_dir);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.rfind(m_dir + "/file", 0), 0u);
    EXPECT_EQ(std::stoul(second.substr(m_dir.size() + 5)),
              std::stoul(first.substr(m_dir.size() + 5)) + 1);
}

TEST_F(FileUtilsTest, MoveFileIfFree) {
    std::string from = MakeFile("from", "data");
    EXPECT_FALSE(MoveFileIfFree(Path("missing"), Path("to")));
    std::string taken = MakeFile("taken", "other");
    EXPECT_FALSE(MoveFileIfFree(from, taken));  // an existing target is never replaced
    EXPECT_TRUE(FileExists(from));
    EXPECT_TRUE(MoveFileIfFree(from, m_dir + "\\to"));
    EXPECT_FALSE(FileExists(from));
    EXPECT_TRUE(FileExists(Path("to")));
}

#ifdef _WIN32
TEST_F(FileUtilsTest, MoveFileIfFreeRefusesAFileHeldOpen) {
    const std::string from = MakeFile("held", "data");
    // Opened the way another program keeps a file it uses: shared for reading only.
    const int fd = _wsopen(std::filesystem::path(from).c_str(), _O_RDONLY, _SH_DENYWR);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(MoveFileIfFree(from, Path("moved")));
    close(fd);
    EXPECT_TRUE(MoveFileIfFree(from, Path("moved")));
}
#endif

// One holder at a time, whatever name it uses for the folder; letting go frees it at once.
TEST_F(FileUtilsTest, FolderLockHasOneHolderAtATime) {
    FolderLock first, second;
    EXPECT_EQ(first.Lock(m_dir), FolderLockResult::kLocked);
    EXPECT_EQ(first.Lock(m_dir + "/."), FolderLockResult::kLocked);  // held already
    EXPECT_EQ(second.Lock(m_dir), FolderLockResult::kBusy);
    EXPECT_EQ(second.Lock(Path("missing")), FolderLockResult::kUnavailable);
    ASSERT_TRUE(MakeDirectory(Path("other")));
    EXPECT_EQ(first.Lock(Path("other")), FolderLockResult::kLocked);  // moving on lets go
    EXPECT_EQ(second.Lock(m_dir), FolderLockResult::kLocked);
    first.Unlock();
    EXPECT_EQ(second.Lock(Path("other")), FolderLockResult::kLocked);
}

}  // namespace
}  // namespace ZephUtil
