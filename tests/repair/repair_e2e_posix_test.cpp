// The repair driver and job against the real repair server on loopback.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <thread>

#include "kernel/buffers/block_io.h"
#include "kernel/registry/registry.h"
#include "repair/messages.h"
#include "repair/repair_driver.h"
#include "repair_server_process.h"
#include "repair_test_support.h"

namespace {

using namespace ZephPatch;
using namespace RepairTest;

int ConnectTo(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(kLoopback);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Forwards one client to the server and back; once `cutAfter` bytes have gone to the client,
// it runs `cut` and ends the client's stream there.
class CuttingRelay {
public:
    CuttingRelay(uint16_t serverPort, size_t cutAfter, std::function<void()> cut)
        : m_listening(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kLoopback);
        bind(m_listening, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listening, 1);
        socklen_t length = sizeof address;
        getsockname(m_listening, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([=, this] { Relay(serverPort, cutAfter, cut); });
    }
    ~CuttingRelay() {
        m_thread.join();
        close(m_listening);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    void Relay(uint16_t serverPort, size_t cutAfter, const std::function<void()>& cut) {
        const int client = accept(m_listening, nullptr, nullptr);
        const int server = ConnectTo(serverPort);
        char piece[64 * 1024];
        size_t toClient = 0;
        while (toClient < cutAfter) {
            pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            poll(fds, 2, -1);
            if (fds[0].revents) {
                const ssize_t n = read(client, piece, sizeof piece);
                if (n <= 0 || write(server, piece, n) != n)
                    break;
            }
            if (fds[1].revents) {
                const ssize_t n = read(server, piece, std::min(sizeof piece, cutAfter - toClient));
                if (n <= 0 || write(client, piece, n) != n)
                    break;
                toClient += n;
            }
        }
        cut();
        shutdown(client, SHUT_WR);
        while (read(client, piece, sizeof piece) > 0) {
        }
        close(client);
        close(server);
    }

    int m_listening;
    uint16_t m_port = 0;
    std::thread m_thread;
};

class RecordingFrontEnd : public ProgressSink {
public:
    void Report(ReportLevel level, const std::string& text) override {
        lines.push_back({static_cast<int>(level), text});
    }
    void SetGaugeRange(int range) override { EXPECT_EQ(range, kRepairGaugeRange); }
    void SetGaugeValue(int permille) override { progress.push_back(permille); }
    bool ShouldContinue() override { return polls++ < continuePolls; }

    std::vector<std::pair<int, std::string>> lines;
    std::vector<int> progress;
    int polls = 0;
    int continuePolls = INT32_MAX;
};

using Tree = std::map<std::string, Bytes>;

// Every regular file below the root but the client's own two.
Tree FilesOf(const fs::path& root) {
    Tree files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_regular_file() && relative != "repair.cks" && relative != "unins000.exe")
            files[relative] = ReadBytes(entry.path());
    }
    return files;
}

class RepairEndToEndTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        m_reference = m_folder / "reference";
        m_install = m_folder / "install";
    }

    void MakeReference() {
        WriteBytes(m_reference / "bin/app.exe", RandomBytes(5 * kMiB + 7, 1));
        WriteBytes(m_reference / "data/big.dat", RandomBytes(9 * kMiB, 2));
        WriteBytes(m_reference / "data/grow.dat", RandomBytes(kMiB, 3));
        WriteBytes(m_reference / "data/shrink.dat", RandomBytes(6 * kMiB, 4));
        WriteBytes(m_reference / "data/sub/deep/file.txt", RandomBytes(300, 5));
        WriteBytes(m_reference / "empty.txt", {});
        std::string text;
        while (text.size() < 5 * kMiB)
            text +=
                "Velmor train simulator, route data block " + std::to_string(text.size()) + "\n";
        WriteBytes(m_reference / "data/text.txt", Bytes(text.begin(), text.end()));
        WriteBytes(m_reference / "unins000.exe", {'r', 'e', 'f'});
    }

    // A copy with every kind of damage the repair has to mend.
    void MakeDamagedInstallation() {
        fs::copy(m_reference, m_install, fs::copy_options::recursive);
        Overwrite(m_install / "data/big.dat", 5 * kMiB, RandomBytes(100, 6));
        Overwrite(m_install / "bin/app.exe", 10, RandomBytes(10, 7));
        Overwrite(m_install / "data/text.txt", 4 * kMiB + 3, RandomBytes(10, 13));
        fs::remove_all(m_install / "data/sub");
        fs::remove(m_install / "empty.txt");
        WriteBytes(m_install / "extra.bin", RandomBytes(5 * kMiB, 8));
        WriteBytes(m_install / "data/extra/x.txt", RandomBytes(10, 9));
        Bytes grown = ReadBytes(m_install / "data/grow.dat");
        const Bytes more = RandomBytes(4 * kMiB, 10);
        grown.insert(grown.end(), more.begin(), more.end());
        WriteBytes(m_install / "data/grow.dat", grown);
        fs::resize_file(m_install / "data/shrink.dat", 2 * kMiB);
        WriteBytes(m_install / "unins000.exe", {'m', 'i', 'n', 'e'});
    }

    static void Overwrite(const fs::path& path, size_t offset, const Bytes& bytes) {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(offset));
        file.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }

    bool Repair(const std::string& server, RecordingFrontEnd& frontEnd, int pollMilliseconds = 20) {
        return RunRepairDriver({m_install.string(), server, pollMilliseconds}, frontEnd) ==
               RepairResult::kRepaired;
    }

    fs::path m_reference;
    fs::path m_install;
};

std::string SegmentsLine(unsigned received, unsigned total) {
    char text[64];
    snprintf(text, sizeof text, RepairText::kSegmentsUpdated, received, total);
    return text;
}

TEST_F(RepairEndToEndTest, DamagedInstallationEndsIdenticalToTheReference) {
    MakeReference();
    MakeDamagedInstallation();
    RepairServerProcess server(m_reference, true);

    // A poll longer than any test: every stage and the end are seen as they come.
    RecordingFrontEnd first;
    ASSERT_TRUE(Repair(server.Address(), first, 3'600'000));
    EXPECT_EQ(FilesOf(m_install), FilesOf(m_reference));
    EXPECT_EQ(ReadBytes(m_install / "unins000.exe"), (Bytes{'m', 'i', 'n', 'e'}));
    ASSERT_EQ(first.lines.size(), 5u);
    EXPECT_EQ(first.lines[0], std::make_pair(1, std::string(RepairText::kScanning)));
    EXPECT_EQ(first.lines[1].second, RepairText::kConnecting);
    EXPECT_EQ(first.lines[2].second, RepairText::kPreparing);
    EXPECT_EQ(first.lines[3].second, RepairText::kReceiving);
    EXPECT_EQ(first.progress.back(), 1000);

    // Nothing left to mend but the empty file, which a summary cannot show.
    RecordingFrontEnd second;
    ASSERT_TRUE(Repair(server.Address(), second));
    EXPECT_EQ(second.lines.back().second, SegmentsLine(1, 1));
    EXPECT_EQ(FilesOf(m_install), FilesOf(m_reference));
}

TEST_F(RepairEndToEndTest, AServerKilledMidStreamFailsInStageFiveAndTheNextRepairFinishes) {
    WriteBytes(m_reference / "a.bin", RandomBytes(12 * kMiB, 11));
    WriteBytes(m_reference / "b.bin", RandomBytes(4 * kMiB, 12));
    fs::create_directory(m_install);
    auto server = std::make_unique<RepairServerProcess>(m_reference);

    RecordingFrontEnd first;
    {
        CuttingRelay relay(server->Port(), 6 * kMiB, [&] { server->Kill(); });
        EXPECT_FALSE(Repair(relay.Address(), first));
    }
    ASSERT_GE(first.lines.size(), 2u);
    EXPECT_EQ(first.lines[first.lines.size() - 2],
              std::make_pair(3, std::string(RepairText::kRepairFailed)));
    EXPECT_EQ(first.lines.back(), std::make_pair(1, std::string("(Error 3 in stage 5)")));
    EXPECT_EQ(first.lines[first.lines.size() - 3].second, SegmentsLine(1, 4));
    EXPECT_EQ(ReadBytes(m_install / "a.bin").size(), 4 * kMiB);  // the one segment that came

    server = std::make_unique<RepairServerProcess>(m_reference);
    RecordingFrontEnd second;
    ASSERT_TRUE(Repair(server->Address(), second));
    EXPECT_EQ(second.lines.back().second, SegmentsLine(3, 3));
    EXPECT_EQ(FilesOf(m_install), FilesOf(m_reference));
}

TEST_F(RepairEndToEndTest, ServerOutOfReachOrSpeakingAnotherVersion) {
    fs::create_directory(m_install);
    for (const char* server : {"repair.invalid", "127.0.0.1:0", "127.0.0.1:x", "127.0.0.1:70000"}) {
        RecordingFrontEnd frontEnd;
        EXPECT_FALSE(Repair(server, frontEnd));
        EXPECT_EQ(frontEnd.lines,
                  (decltype(frontEnd.lines){{3, RepairText::kCannotContactServer}}));
    }
    EXPECT_FALSE(fs::exists(m_install / "repair.cks"));  // nothing touched

    // Operators and tests point the installer elsewhere through the registry.
    const char* const kProductKey = "SOFTWARE\\Orvik\\Products\\VelmorSimulator";
    setenv("ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str(), 1);
    EXPECT_EQ(RepairServerOverride(kProductKey), "");
    ZephUtil::RegistryKey product;
    ASSERT_TRUE(product.Create(kProductKey, ZephUtil::RegAccess::kWrite));
    ASSERT_TRUE(product.SetString("RepairServer", "localhost:6001"));
    EXPECT_EQ(RepairServerOverride(kProductKey), "localhost:6001");
    unsetenv("ORVIK_REGISTRY_ROOT");

    ZephUtil::SocketEndpoint endpoint;
    ASSERT_TRUE(ResolveRepairServer("localhost:6001", &endpoint));
    EXPECT_EQ(endpoint.port, 6001);
    ASSERT_TRUE(ResolveRepairServer("localhost", &endpoint));
    EXPECT_EQ(endpoint.address, kLoopback);
    EXPECT_EQ(endpoint.port, kRepairServerPort);

    RecordingFrontEnd refused;
    EXPECT_FALSE(Repair("127.0.0.1:" + std::to_string(UnusedPort()), refused));
    EXPECT_EQ(refused.lines.back().second, "(Error 12 in stage 3)");
    EXPECT_EQ(refused.lines[refused.lines.size() - 2],
              std::make_pair(3, std::string(RepairText::kConnectFailed)));

    ScriptedServer newer([](ZephUtil::ZephDataBufferTCP& peer) {
        uint32_t version;
        // A scripted peer: the client under test decides how far it gets.
        (void)ZephUtil::ReadUint32(peer, &version);
        (void)ZephUtil::WriteUint32(peer, 7);
        (void)peer.Read(&version, 4);
    });
    RecordingFrontEnd mismatch;
    EXPECT_FALSE(Repair("127.0.0.1:" + std::to_string(newer.Endpoint().port), mismatch));
    EXPECT_EQ(mismatch.lines.back().second, "(Error 10 in stage 3)");
}

TEST_F(RepairEndToEndTest, CancellingStopsTheJobWithoutAnErrorMessage) {
    fs::create_directory(m_install);
    ScriptedServer silent([](ZephUtil::ZephDataBufferTCP& peer) {
        uint8_t byte;
        while (peer.Read(&byte, 1) == 0) {
        }
    });
    RecordingFrontEnd frontEnd;
    frontEnd.continuePolls = 5;
    EXPECT_FALSE(Repair("127.0.0.1:" + std::to_string(silent.Endpoint().port), frontEnd));
    for (const auto& [level, text] : frontEnd.lines)
        EXPECT_NE(level, 3) << text;
}

TEST_F(RepairEndToEndTest, HostileClientsCostTheServerOnlyTheirConnection) {
    MakeReference();
    RepairServerProcess server(m_reference);

    const int olderClient = ConnectTo(server.Port());
    uint32_t value = 5;
    ASSERT_EQ(write(olderClient, &value, 4), 4);
    ASSERT_EQ(read(olderClient, &value, 4), 4);
    EXPECT_EQ(value, kAgentProtocolVersion);  // answered, then hung up on
    EXPECT_LE(read(olderClient, &value, 4), 0);
    close(olderClient);

    const int garbage = ConnectTo(server.Port());
    const char bytes[] = "\x06\x00\x00\x00garbage!";
    ASSERT_EQ(write(garbage, bytes, 12), 12);
    ASSERT_EQ(read(garbage, &value, 4), 4);
    EXPECT_LE(read(garbage, &value, 4), 0);
    close(garbage);

    const int quitter = ConnectTo(server.Port());
    const char partial[] =
        "\x06\x00\x00\x00"
        "0stf\xE8\x03\x00\x00";  // 1,000 entries announced, none sent
    ASSERT_EQ(write(quitter, partial, 12), 12);
    close(quitter);

    // Two installations at once.
    MakeDamagedInstallation();
    const fs::path second = m_folder / "second";
    fs::copy(m_install, second, fs::copy_options::recursive);
    bool secondResult = false;
    std::thread other([&] {
        RecordingFrontEnd frontEnd;
        secondResult = RunRepairDriver({second.string(), server.Address(), 20}, frontEnd) ==
                       RepairResult::kRepaired;
    });
    RecordingFrontEnd frontEnd;
    EXPECT_TRUE(Repair(server.Address(), frontEnd));
    other.join();
    EXPECT_TRUE(secondResult);
    EXPECT_EQ(FilesOf(m_install), FilesOf(m_reference));
    EXPECT_EQ(FilesOf(second), FilesOf(m_reference));
}

}  // namespace
