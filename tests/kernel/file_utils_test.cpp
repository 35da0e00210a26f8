#include "kernel/files/file_utils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "kernel/files/folder_lock.h"
#include "tests/support/test_folder.h"

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

class FileUtilsTest : public testing::Test {
protected:
    std::string Path(const std::string& name) { return m_temp.Path(name); }
    std::string MakeFile(const std::string& name, const std::string& contents = "x") {
        std::ofstream(Path(name), std::ios::binary) << contents;
        return Path(name);
    }

    orvik_test::TestFolder m_temp;
    const std::string m_dir = m_temp.Path();
};

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

TEST_F(FileUtilsTest, MakeDirectoryLogsAFailedCreation) {
    std::string tooLong(300, 'n');  // beyond the file system's name limit, even for root
    testing::internal::CaptureStdout();
    EXPECT_FALSE(MakeDirectory(Path(tooLong)));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "MakeDirectory> mkdir returned err " + std::to_string(ENAMETOOLONG) + "\n");
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

    timeval times[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);
    EXPECT_EQ(GetFileModifiedTime(file, &value), 0);
    EXPECT_EQ(value, 1234567890u);
    EXPECT_EQ(GetFileModifiedTime(Path("missing"), &value), 2);
    EXPECT_EQ(value, 0u);

    chmod(file.c_str(), 0664);
    EXPECT_TRUE(SetReadOnly(file));
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::group_read |
                                                               std::filesystem::perms::others_read);
    EXPECT_TRUE(SetReadOnly(file));
    EXPECT_TRUE(ClearReadOnly(file));
    EXPECT_TRUE((std::filesystem::status(file).permissions() &
                 std::filesystem::perms::owner_write) != std::filesystem::perms::none);
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

TEST_F(FileUtilsTest, DeleteFileAt) {
    EXPECT_FALSE(DeleteFileAt(""));
    EXPECT_FALSE(DeleteFileAt(Path("missing")));
    EXPECT_TRUE(DeleteFileAt(MakeFile("gone")));
    EXPECT_FALSE(FileExists(Path("gone")));
}

TEST_F(FileUtilsTest, DeleteTreeRemovesEverythingButNeverFollowsLinks) {
    ASSERT_TRUE(MakeDirectory(Path("tree/a/b")));
    MakeFile("tree/top");
    MakeFile("tree/a/b/deep");
    ASSERT_TRUE(MakeDirectory(Path("outside")));
    std::string kept = MakeFile("outside/kept");
    std::filesystem::create_directory_symlink(Path("outside"), Path("tree/a/link"));
    EXPECT_TRUE(DeleteTree(Path("tree")));
    EXPECT_FALSE(FileExists(Path("tree")));
    EXPECT_TRUE(FileExists(kept));
    EXPECT_FALSE(DeleteTree(Path("tree")));
    EXPECT_FALSE(DeleteTree(""));
}

TEST_F(FileUtilsTest, ListFolderGivesFullPaths) {
    ASSERT_TRUE(MakeDirectory(Path("list/sub")));
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

TEST_F(FileUtilsTest, MoveFileIfFreeRefusesAFileAnotherProcessHolds) {
    std::string from = MakeFile("held", "data");
    int locked[2], release[2];
    ASSERT_EQ(pipe(locked), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = open(from.c_str(), O_RDWR);
        char byte = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'L' : 'E';
        (void)!write(locked[1], &byte, 1);
        (void)!read(release[0], &byte, 1);
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(read(locked[0], &state, 1), 1);
    EXPECT_EQ(state, 'L');
    EXPECT_FALSE(MoveFileIfFree(from, Path("moved")));
    EXPECT_TRUE(FileExists(from));

    ASSERT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    for (int fd : {locked[0], locked[1], release[0], release[1]})
        close(fd);
    EXPECT_TRUE(MoveFileIfFree(from, Path("moved")));
}

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
