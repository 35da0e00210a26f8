// The sample installation that the demo and the window bench start from: what it registers must
// be found where the installer looks, through the installer's own registry layer.
#include <cstdlib>
#include <optional>
#include <string>

#include "kernel/registry/registry.h"
#include "session/product_registry.h"
#include "tests/e2e/cli_session.h"

namespace orvik_test {
namespace {

// Points the registry at `root` while it lives, then restores what was set before.
class RegistryRootScope {
public:
    explicit RegistryRootScope(const std::string& root) {
        if (const char* previous = std::getenv("ORVIK_REGISTRY_ROOT"))
            m_previous = previous;
        setenv("ORVIK_REGISTRY_ROOT", root.c_str(), 1);
    }
    ~RegistryRootScope() {
        if (m_previous)
            setenv("ORVIK_REGISTRY_ROOT", m_previous->c_str(), 1);
        else
            unsetenv("ORVIK_REGISTRY_ROOT");
    }
    RegistryRootScope(const RegistryRootScope&) = delete;
    RegistryRootScope& operator=(const RegistryRootScope&) = delete;

private:
    std::optional<std::string> m_previous;
};

TEST(SampleInstallation, RegistersTheInstallationAndTheReleaseNotesPage) {
    TestFolder folder;
    const std::string notes = "file:///opt/notes/release notes.html";
    ASSERT_EQ(RunShell(std::string(kPython) + " " + SampleScript() + " make " + ORVIK_BINARY_DIR +
                       " " + folder / "sample" + " --files 8 --builds 46957,48249" +
                       " --release-notes '" + notes + "' >/dev/null"),
              0);
    RegistryRootScope root(folder / "sample/registry");

    ZephUtil::RegistryKey product;
    ASSERT_TRUE(product.Open(ZephPatch::PATCHING_FLAG_KEY, ZephUtil::RegAccess::kRead));
    std::string address;
    EXPECT_TRUE(product.QueryString("ReleaseNotesURL", &address));
    EXPECT_EQ(address, notes);

    ZephUtil::RegistryKey installation;
    ASSERT_TRUE(installation.Open(std::string(ZephPatch::PRODUCTS_KEY) + ZephPatch::PRODUCT_KEY +
                                      "\\" + ZephPatch::PRODUCT_CLASS,
                                  ZephUtil::RegAccess::kRead));
    std::string path;
    EXPECT_TRUE(installation.QueryString(ZephPatch::PRODUCT_INSTALL_PATH_VALUE, &path));
    EXPECT_EQ(path, folder / "sample/install/");
}

}  // namespace
}  // namespace orvik_test
