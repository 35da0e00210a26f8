#include "package/unpacked_file.h"

#include "container_test_support.h"

namespace ZephPatch {
namespace {

using namespace ContainerTest;

TEST(UnpackedFileTest, FullDiskShowsAtWriteOrClose) {
    UnpackedFile full("/dev/full");
    ASSERT_TRUE(full.IsOpen());
    const Bytes bytes(1000, 7);
    EXPECT_NE(full.Write(bytes.data(), 1000), ZephUtil::kBufOk);
    EXPECT_FALSE(full.Close());
}

TEST(UnpackedFileTest, SymbolicLinkIsNotFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX only: making a symbolic link takes a privilege on Windows";
#endif
    TestFolder folder;
    fs::create_symlink(folder.Path("elsewhere"), folder.Path("link"));
    EXPECT_FALSE(UnpackedFile(folder.Path("link")).IsOpen());
    EXPECT_FALSE(fs::exists(folder.Path("elsewhere")));
}

}  // namespace
}  // namespace ZephPatch
