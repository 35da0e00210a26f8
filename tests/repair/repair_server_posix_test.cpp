// zephrepaird as an operator runs it: its options, both address families, a reason when it
// cannot listen, and a clean end on SIGTERM.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>

#include <fstream>

#include "tests/repair/repair_server_process.h"
#include "tests/repair/repair_test_support.h"

namespace RepairTest {
namespace {

// Connects to the server on the loopback address of `family` and trades protocol versions:
// what the server answered, 0 when the connection failed.
uint32_t HandshakeOver(int family, uint16_t port) {
    const int fd = socket(family, SOCK_STREAM, 0);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        v6->sin6_port = htons(port);
        length = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(kLoopback);
        v4->sin_port = htons(port);
        length = sizeof *v4;
    }
    uint8_t version[4] = {ZephPatch::kAgentProtocolVersion, 0, 0, 0};
    uint8_t answer[4] = {};
    const bool traded = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                        write(fd, version, 4) == 4 && read(fd, answer, 4) == 4;
    close(fd);
    return traded ? answer[0] | answer[1] << 8 | answer[2] << 16 | uint32_t{answer[3]} << 24 : 0;
}

// The number of threads of a running process.
int ThreadsOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("Threads:"))
            return std::stoi(line.substr(8));
    return -1;
}

// The output of a short run of the server with `arguments`, and its exit code.
std::pair<std::string, int> RunServer(const std::vector<std::string>& arguments) {
    auto child = ZephUtil::StartChildProcessArgv(kRepairServerProgram, arguments);
    std::string output;
    while (child && ZephUtil::ReadChildOutput(*child, output)) {
    }
    if (!child)
        return {"", -1};
    ZephUtil::WaitChildProcess(*child, -1);
    return {output, ZephUtil::ChildExitCode(*child)};
}

class RepairServerTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        WriteBytes(m_folder / "bin/Velmor.exe", RandomBytes(5 * kMiB, 1));
    }
};

TEST_F(RepairServerTest, ServesBothFamiliesQuietlyAndStopsCleanlyOnSigterm) {
    RepairServerProcess server(m_folder, false,
                               {"--root=" + m_folder.string(), "--listen=[::]:0", "--quiet"});
    ASSERT_NE(server.Port(), 0);
    EXPECT_EQ(HandshakeOver(AF_INET6, server.Port()), ZephPatch::kAgentProtocolVersion);
    EXPECT_EQ(HandshakeOver(AF_INET, server.Port()), ZephPatch::kAgentProtocolVersion);
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    const std::string output = server.Output();
    EXPECT_NE(output.find("listening on [::]:"), std::string::npos) << output;
    EXPECT_EQ(output.find(" Checksum "), std::string::npos) << "--quiet reads the tree silently";
}

TEST_F(RepairServerTest, SaysWhyItCannotListenAndAnswersHelpAndVersion) {
    RepairServerProcess first(m_folder);
    EXPECT_NE(first.Output().find(" Checksum "), std::string::npos) << first.Output();
    const auto [taken, takenCode] =
        RunServer({"--root", m_folder.string(), "--listen=" + first.Address()});
    EXPECT_EQ(takenCode, 1);
    EXPECT_NE(taken.find("cannot listen on " + first.Address() + ": Address already in use"),
              std::string::npos)
        << taken;

    const auto [help, helpCode] = RunServer({"--help"});
    EXPECT_EQ(helpCode, 0);
    EXPECT_TRUE(help.starts_with("Usage: zephrepaird --root=FOLDER")) << help;
    const auto [version, versionCode] = RunServer({"--version"});
    EXPECT_EQ(versionCode, 0);
    EXPECT_TRUE(version.starts_with("zephrepaird ")) << version;
    EXPECT_EQ(RunServer({"--root"}).second, 2);
}

TEST_F(RepairServerTest, IdleAndSilentClientsHoldNoThreadAndAreHungUpOn) {
    const fs::path reference = m_folder / "reference";
    WriteBytes(reference / "data.bin", RandomBytes(kMiB, 2));
    RepairServerProcess server(reference, false,
                               {"--listen=127.0.0.1:0", "--timeout=2", "--clients=2"});
    // A hundred clients that say nothing, and twenty that stop after their version.
    std::vector<int> quiet;
    for (int i = 0; i < 120; ++i) {
        quiet.push_back(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kLoopback);
        address.sin_port = htons(server.Port());
        ASSERT_EQ(connect(quiet.back(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const uint8_t version[4] = {ZephPatch::kAgentProtocolVersion, 0, 0, 0};
        if (i < 20) {
            ASSERT_EQ(write(quiet.back(), version, 4), 4);
        }
    }
    // Its own threads and those of the pool, however many clients wait.
    EXPECT_LE(ThreadsOf(server.Pid()), 2 + 4);

    // A real repair still gets through.
    const fs::path install = m_folder / "install";
    fs::create_directory(install);
    ZephPatch::ZephAgentClient job;
    ASSERT_EQ(job.SetInstallDirectory(install.string()), 0);
    ASSERT_EQ(job.SetChecksumFile((install / "repair.cks").string()), 0);
    ASSERT_EQ(job.SetServerAddress({kLoopback, server.Port()}), 0);
    RunToEnd(job);
    EXPECT_TRUE(job.Succeeded()) << job.GetError();
    EXPECT_EQ(ReadBytes(install / "data.bin"), ReadBytes(reference / "data.bin"));

    for (const int fd : quiet) {
        const timeval guard{60, 0};  // far beyond the server's time-out
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
        uint8_t answer[4];
        const ssize_t got = read(fd, answer, 4);
        const ssize_t after = got == 4 ? read(fd, answer, 4) : got;
        EXPECT_TRUE(after == 0 || (after < 0 && errno == ECONNRESET)) << "still open";
        close(fd);
    }
}

}  // namespace
}  // namespace RepairTest
