#include "app/core/product_install_path.h"

#include <sys/stat.h>

#include "kernel/registry/registry.h"
#include "tests/app/shell_fixture.h"

namespace orvik_test {
namespace {

using ZephPatch::FindProductInstallPath;
using ZephUtil::RegAccess;

class ProductInstallPathTest : public ShellTest {
protected:
    void AddProduct(const std::string& subkey, const char* productClass, const char* installPath) {
        ZephUtil::RegistryKey key;
        ASSERT_TRUE(
            key.Create("SOFTWARE\\Orvik\\Products\\VelmorSimulator\\" + subkey, RegAccess::kWrite));
        if (productClass) {
            ASSERT_TRUE(key.SetString("ProductClass", productClass));
        }
        if (installPath) {
            ASSERT_TRUE(key.SetString("ProductInstallPath", installPath));
        }
    }
};

TEST_F(ProductInstallPathTest, LastMatchingSubkeyWins) {
    AddProduct("A-first", "Velmor", "/opt/first/");
    AddProduct("B-other", "Editor", "/opt/editor/");
    AddProduct("C-second", "VELMOR", "/opt/second/");
    AddProduct("D-empty", "Velmor", "");
    AddProduct("E-noclass", nullptr, "/opt/noclass/");
    EXPECT_EQ(FindProductInstallPath("VelmorSimulator", "Velmor"), "/opt/second/");
    EXPECT_EQ(FindProductInstallPath("velmorsimulator", "editor"), "/opt/editor/");
    EXPECT_EQ(FindProductInstallPath("VelmorSimulator", ""), "/opt/noclass/") << "any class";
    EXPECT_EQ(FindProductInstallPath("OtherProduct", "Velmor"), "");
}

TEST_F(ProductInstallPathTest, EmptyRegistryGivesNothing) {
    EXPECT_EQ(FindProductInstallPath("VelmorSimulator", "Velmor"), "");
    AddProduct("Velmor", "Velmor", nullptr);
    EXPECT_EQ(FindProductInstallPath("VelmorSimulator", "Velmor"), "");
}

// The product key must open for write: a user who could not patch finds no installation.
TEST_F(ProductInstallPathTest, UnwritableProductKeyGivesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "drops to an ordinary user through fork and setuid";
#else
    AddProduct("Velmor", "Velmor", "/opt/velmor/");
    const int result = RunUnprivileged(m_folder.Path(), [] {
        setenv("ORVIK_REGISTRY_ROOT", "registry", 1);
        return FindProductInstallPath("VelmorSimulator", "Velmor").empty();
    });
    if (result == kUnprivilegedUnavailable)
        GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(result, 0);
#endif
}

}  // namespace
}  // namespace orvik_test
