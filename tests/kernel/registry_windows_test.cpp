// The system's registry: values round-trip through it, and they live in the 32-bit view that
// the product's own (32-bit) programs use.
#include <gtest/gtest.h>

#include <string>

#include "kernel/registry/registry.h"
#include "kernel/system/windows_support.h"
#include "tests/support/test_folder.h"

namespace {

using namespace ZephUtil;

// A key of this test run's own, removed with everything below it at the end.
class RegistryWindowsTest : public testing::Test {
protected:
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ToWide(m_wow32Key).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, ToWide(m_root).c_str());
    }
    const std::string m_key = "SOFTWARE\\OrvikTest" + std::to_string(GetCurrentProcessId());
    const std::string m_wow32Key =
        "SOFTWARE\\WOW6432Node\\OrvikTest" + std::to_string(GetCurrentProcessId());
    const std::string m_root = "OrvikTestRoot" + std::to_string(GetCurrentProcessId());
};

TEST_F(RegistryWindowsTest, ValuesRoundTripInThe32BitView) {
    orvik_test::ScopedEnv machine("ORVIK_REGISTRY_ROOT", nullptr);
    RegistryKey key;
    ASSERT_TRUE(key.Create(m_key + "\\Products\\VelmorSimulator", RegAccess::kWrite));
    EXPECT_TRUE(key.SetString("ProductInstallPath", "C:\\Velmor caf\xc3\xa9\\"));
    EXPECT_TRUE(key.SetDword("IsPatching", 1));

    RegistryKey reader;
    ASSERT_TRUE(reader.Open(m_key + "/products/velmorsimulator", RegAccess::kRead));
    std::string text;
    uint32_t number = 0;
    EXPECT_TRUE(reader.QueryString("productinstallpath", &text));
    EXPECT_EQ(text, "C:\\Velmor caf\xc3\xa9\\");
    EXPECT_TRUE(reader.QueryDword("IsPatching", &number));
    EXPECT_EQ(number, 1u);
    EXPECT_FALSE(reader.QueryDword("ProductInstallPath", &number));  // the other type
    EXPECT_FALSE(reader.SetDword("IsPatching", 2));                  // opened for reading
    RegistryKey parent;
    ASSERT_TRUE(parent.Open(m_key + "\\Products", RegAccess::kRead));
    EXPECT_TRUE(parent.EnumSubKey(0, &text));
    EXPECT_EQ(text, "VelmorSimulator");
    EXPECT_FALSE(parent.EnumSubKey(1, &text));
    EXPECT_TRUE(key.DeleteValue("IsPatching"));
    EXPECT_FALSE(reader.QueryDword("IsPatching", &number));
    EXPECT_FALSE(reader.Open(m_key + "\\Missing", RegAccess::kRead));

    // The 64-bit view finds it where 32-bit programs' keys live on a 64-bit system.
    HKEY raw = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            ToWide(m_wow32Key + "\\Products\\VelmorSimulator").c_str(), 0,
                            KEY_READ | KEY_WOW64_64KEY, &raw),
              ERROR_SUCCESS);
    RegCloseKey(raw);
}

TEST_F(RegistryWindowsTest, TheEnvironmentMovesTheRootBelowTheUser) {
    orvik_test::ScopedEnv root("ORVIK_REGISTRY_ROOT", m_root.c_str());
    EXPECT_EQ(RegistryRoot(), "HKEY_CURRENT_USER\\" + m_root);
    RegistryKey key;
    ASSERT_TRUE(key.Create(m_key, RegAccess::kWrite));
    EXPECT_TRUE(key.SetString("Where", "user"));
    HKEY raw = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, ToWide(m_root + "\\" + m_key).c_str(), 0, KEY_READ, &raw),
        ERROR_SUCCESS);
    RegCloseKey(raw);
}

}  // namespace
