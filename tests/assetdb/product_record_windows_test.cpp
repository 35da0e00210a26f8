// The installer and a process of the product itself (8-bit Win32 calls, its own names and
// offsets) meet in one coordination record, whichever of them made it.
#include <gtest/gtest.h>
#include <unistd.h>

#include "test_support.h"
// After the project's headers, which bring in winsock2.h first.
#include <windows.h>

namespace ZephPatch {
namespace {

using Testing::Peer;
using Testing::TempInstallation;

const std::string kProduct = ORVIK_TEST_PROGRAMS "/product_record_user";

TEST(ProductRecord, InstallerJoinsTheProductsRecordAndQueuesForIt) {
    TempInstallation install;
    Peer product(install.Database(),
                 {"attach", "own", "ready", "wait-file", install.Path("go"), "disown", "wait-file",
                  install.Path("end"), "show", "detach"},
                 kProduct);
    ASSERT_TRUE(product.ReadUntil("ready"));
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    const DatabaseRecord& record = install.database.AttachedRecord()->Record();
    EXPECT_EQ(record.primaryProcess, product.Pid());
    EXPECT_EQ(record.ownerProcess, product.Pid());
    EXPECT_EQ(install.database.GetAttachCount(), 2);
    EXPECT_FALSE(install.database.TryTakeOwnership(true));
    EXPECT_EQ(record.requesterProcess, getpid());

    std::ofstream(install.Path("go")).put('\n');
    bool owned = false;
    for (int i = 0; i < 3000 && !owned; ++i, Sleep(10))
        owned = install.database.TryTakeOwnership(true);
    EXPECT_TRUE(owned);
    std::ofstream(install.Path("end")).put('\n');
    EXPECT_EQ(product.Finish(), 0);
    EXPECT_NE(product.Output().find("own 1"), std::string::npos) << product.Output();
    const std::string seen = "primary " + std::to_string(product.Pid()) + " owner " +
                             std::to_string(getpid()) + " requester -1 version 3 count 2";
    EXPECT_NE(product.Output().find(seen), std::string::npos) << product.Output();
    EXPECT_EQ(install.database.GetAttachCount(), 1);
}

TEST(ProductRecord, ProductSeesTheInstallersExclusiveUse) {
    TempInstallation install;
    ASSERT_TRUE(install.database.AttachDatabase(install.Database(), false));
    ASSERT_TRUE(install.database.TryLockExclusive());
    Peer product(install.Database(), {"attach", "show", "own", "detach"}, kProduct);
    EXPECT_EQ(product.Finish(), 0);
    const std::string self = std::to_string(getpid());
    EXPECT_NE(product.Output().find("primary " + self + " owner " + self +
                                    " requester -1 version 3 count 2 exclusive " + self),
              std::string::npos)
        << product.Output();
    EXPECT_NE(product.Output().find("own 0"), std::string::npos);
    EXPECT_EQ(install.database.GetAttachCount(), 1);
}

}  // namespace
}  // namespace ZephPatch
