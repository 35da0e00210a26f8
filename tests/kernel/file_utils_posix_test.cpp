// File utilities and the Linux file model: modes, times set by utimes, flock, errno texts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "file_utils_fixture.h"
#include "kernel/files/file_utils.h"

namespace ZephUtil {
namespace {

TEST_F(FileUtilsTest, MakeDirectoryLogsAFailedCreation) {
    std::string tooLong(300, 'n');  // beyond the file system's name limit, even for root
    testing::internal::CaptureStdout();
    EXPECT_FALSE(MakeDirectory(Path(tooLong)));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "MakeDirectory> mkdir returned err " + std::to_string(ENAMETOOLONG) + "\n");
}

TEST_F(FileUtilsTest, ModifiedTimeAndReadOnlyBits) {
    std::string file = MakeFile("f.txt", "12345");
    uint64_t value = 99;
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

}  // namespace
}  // namespace ZephUtil
