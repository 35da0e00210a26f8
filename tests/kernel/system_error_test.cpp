#include "kernel/system/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(SystemErrorTest, KnownAndUnknownCodes) {
    EXPECT_EQ(OS::SystemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(OS::SystemErrorText(99999), "Unknown error 99999");
}
