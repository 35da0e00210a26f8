// The keys and the last sequence download mode trusts, as operators write them in the registry.
#include "session/catalogue_trust.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>

#include "kernel/registry/registry.h"
#include "tests/support/test_folder.h"

namespace ZephPatch {
namespace {

// Public key lines as minisign writes them.
constexpr char kKeyA[] = "RWROmrNMy3ytuw3HnR0s3F6YN4RVNyGtZbR+7XfOQK3ryWIQ/9daJ0/a";
constexpr char kKeyB[] = "RWTX1wD0rND574C1O+OJGTeSUt+EXa+1eJXSNvpKUV/SqEnbY0Wk5cHs";

class CatalogueTrustTest : public ::testing::Test {
protected:
    // Through the registry calls, as an operator's tools would write it.
    static ZephUtil::RegistryKey ProductKey() {
        ZephUtil::RegistryKey key;
        EXPECT_TRUE(
            key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator", ZephUtil::RegAccess::kWrite));
        return key;
    }

#ifdef _WIN32
    // The registry outlives the folder the root is named after: a root an earlier run of the
    // same name left goes first, this one at the end.
    void SetUp() override {
        std::string root = m_folder.Path();
        std::replace(root.begin(), root.end(), '/', '\\');
        RegDeleteTreeA(HKEY_CURRENT_USER, root.c_str());
    }
    void TearDown() override {
        SetUp();
    }
#endif

    orvik_test::TestFolder m_folder;
    orvik_test::ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", m_folder.Path().c_str()};
};

TEST_F(CatalogueTrustTest, KeysOneALineOrAWholeKeyFile) {
    std::vector<MinisignPublicKey> keys;
    std::string error;
    ASSERT_TRUE(ParseTrustedKeys(std::string("untrusted comment: minisign public key X\r\n") +
                                     kKeyA + "\r\n\n  " + kKeyB + " \t" + kKeyA + "\n",
                                 &keys, &error));
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(KeyIdText(keys[0].keyId), "BBAD7CCB4CB39A4E");
    EXPECT_FALSE(ParseTrustedKeys(std::string(kKeyA) + "\n" + kKeyB + "x", &keys, &error));
    EXPECT_EQ(error, std::string("\"") + kKeyB + "x\" is not a minisign public key");
}

TEST_F(CatalogueTrustTest, SequenceOnlyEverGrows) {
    CatalogueTrust trust;
    std::string error;
    ASSERT_TRUE(LoadCatalogueTrust(&trust, &error)) << error;
    EXPECT_TRUE(trust.keys.empty());
    EXPECT_EQ(trust.lastSequence, 0u);
    EXPECT_GT(trust.now, 1700000000u);

    ASSERT_TRUE(ProductKey().SetString("PatchSigningKeys", kKeyA));
    ASSERT_TRUE(ProductKey().SetDword("PatchCatalogueSequence", 7));
    ASSERT_TRUE(LoadCatalogueTrust(&trust, &error)) << error;
    EXPECT_EQ(trust.keys.size(), 1u);
    EXPECT_EQ(trust.lastSequence, 7u);
    EXPECT_TRUE(RecordCatalogueSequence(5));
    ASSERT_TRUE(LoadCatalogueTrust(&trust, &error));
    EXPECT_EQ(trust.lastSequence, 7u);
    EXPECT_TRUE(RecordCatalogueSequence(10000000000));
    ASSERT_TRUE(LoadCatalogueTrust(&trust, &error));
    EXPECT_EQ(trust.lastSequence, 10000000000u);

    // A stored number that cannot be read must not count as none.
    ASSERT_TRUE(ProductKey().SetString("PatchCatalogueSequence", "seven"));
    EXPECT_FALSE(LoadCatalogueTrust(&trust, &error));
    EXPECT_EQ(error, "the registry value PatchCatalogueSequence is not a decimal number");
}

}  // namespace
}  // namespace ZephPatch
