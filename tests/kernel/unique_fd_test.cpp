#include "kernel/files/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <utility>

#include "kernel/files/file_utils.h"
#include "test_pipe.h"

namespace {

using ZephUtil::UniqueFd;

bool IsOpenDescriptor(int fd) {
    const int copy = dup(fd);
    if (copy < 0)
        return false;
    close(copy);
    return true;
}

TEST(UniqueFdTest, ClosesExactlyOnceWhoeverHoldsIt) {
    int ends[2];
    ASSERT_TRUE(orvik_test::MakePipe(ends));
    UniqueFd writeEnd(ends[1]);
    int readFd;
    {
        UniqueFd readEnd(ends[0]);
        UniqueFd moved(std::move(readEnd));
        EXPECT_FALSE(readEnd.IsOpen());
        readFd = moved.Get();
        writeEnd = std::move(moved);  // closes the write end, takes the read end
        EXPECT_FALSE(IsOpenDescriptor(ends[1]));
    }
    EXPECT_TRUE(IsOpenDescriptor(readFd));
    EXPECT_TRUE(writeEnd.Close());
    EXPECT_FALSE(IsOpenDescriptor(readFd));
    EXPECT_TRUE(writeEnd.Close());  // nothing left to close
}

TEST(UniqueFdTest, ReleaseHandsTheDescriptorOverOpen) {
    UniqueFd file(ZephUtil::OpenFile(ORVIK_SOURCE_DIR "/README.md", O_RDONLY));
    const int fd = file.Release();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(IsOpenDescriptor(fd));
    UniqueFd again(fd);
}

}  // namespace
