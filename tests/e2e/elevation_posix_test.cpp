// A user without rights runs the installer: it starts a copy of itself through pkexec (here a
// setuid stand-in that clears the environment as pkexec does), and that copy, as root, still
// finds the registry, the temporary folder and the display, and patches. Runs where the tests
// run as root (to make the stand-in setuid root); skipped elsewhere.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/e2e/cli_session.h"

namespace orvik_test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

TEST_F(CliSession, UserWithoutRightsPatchesThroughTheElevatedCopy) {
    if (geteuid() != 0)
        GTEST_SKIP() << "making the pkexec stand-in setuid root needs root";
    const std::string bin = m_folder / "bin";
    fs::create_directories(bin);
    fs::copy_file(std::string(ORVIK_TEST_PROGRAMS) + "/fake_pkexec", bin + "/pkexec");
    ASSERT_EQ(chown((bin + "/pkexec").c_str(), 0, 0), 0);
    ASSERT_EQ(chmod((bin + "/pkexec").c_str(), 04755), 0);
    const std::string log = m_folder / "pkexec.log";
    const std::string path = bin + ":" + std::getenv("PATH");

    // The registry belongs to root: this user may not patch, so the installer asks for rights.
    const CliRun run =
        RunCli(Sample("InstallPatchCLI"), Sample("registry"), Sample("temp"), {}, {}, [&] {
            setenv("PATH", path.c_str(), 1);
            setenv("DISPLAY", ":42", 1);
            setenv("XAUTHORITY", "/run/user/42/xauth", 1);
            setenv("FAKE_PKEXEC_LOG", log.c_str(), 1);
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(126);
        });
    const std::string noted = ReadFile(log);
    if (noted.starts_with("euid=65534"))
        GTEST_SKIP() << "setuid programs do not run here (a nosuid mount)";
    EXPECT_EQ(run.exitCode, 0) << noted;
    EXPECT_TRUE(InstallationIs("50001"));
    EXPECT_TRUE(Contains(run.lines, "Patching completed."));
    // What the copy needs came along explicitly, past the cleared environment.
    for (const std::string& passed :
         {std::string("DISPLAY=:42"), std::string("XAUTHORITY=/run/user/42/xauth"),
          "ORVIK_REGISTRY_ROOT=" + Sample("registry"), "TEMP=" + Sample("temp")})
        EXPECT_NE(noted.find("\n" + passed + "\n"), std::string::npos) << passed << " in " << noted;
    EXPECT_NE(noted.find("\n--admin\n"), std::string::npos) << noted;
}

}  // namespace
}  // namespace orvik_test
