// InstallPatchCLI --repair against the real repair server and against servers that misbehave,
// as a user runs it from a console.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "kernel/buffers/block_io.h"
#include "repair/agent_protocol.h"
#include "repair/segment_checksum.h"
#include "tests/e2e/cli_session.h"
#include "tests/repair/repair_server_process.h"
#include "tests/repair/repair_test_support.h"

namespace orvik_test {
namespace {

namespace fs = std::filesystem;
using RepairTest::Bytes;
using RepairTest::kMiB;
using RepairTest::RandomBytes;

constexpr char kCompleted[] = "Patching completed.";
constexpr char kAborted[] = "Patching aborted.";
const std::vector<std::string> kStages = {"Scanning installed files. This may take a while.",
                                          "Connecting to patch servers.",
                                          "Preparing download list.", "Receiving updated files."};

std::vector<std::string> Then(std::vector<std::string> lines,
                              const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

// A reference installation, a copy of it to damage (marked as interrupted by an earlier patch),
// and the plain console installer run on that copy with the registry's RepairServer value.
class RepairModeTest : public ::testing::Test {
protected:
    RepairModeTest() {
        Write("bin/Velmor.exe", RandomBytes(5 * kMiB + 7, 1));
        Write("data/big.dat", RandomBytes(9 * kMiB, 2));
        Write("data/grow.dat", RandomBytes(kMiB, 3));
        Write("data/shrink.dat", RandomBytes(6 * kMiB, 4));
        Write("data/sub/deep/file.txt", RandomBytes(300, 5));
        Write("docs/readme.txt", RandomBytes(4000, 6));
        fs::copy(m_reference, m_install, fs::copy_options::recursive);
        fs::create_directories(m_install + "/UserData");
        fs::create_directories(m_folder / "temp");
        SetValue("IsPatching", "REG_DWORD\n1\n");
    }

    void Write(const std::string& name, const Bytes& bytes) {
        RepairTest::WriteBytes(m_reference + "/" + name, bytes);
    }
    std::string Key() const {
        return m_folder / "registry/SOFTWARE/Orvik/Products/VelmorSimulator";
    }
    void SetValue(const std::string& name, const std::string& contents) {
        WriteFile(Key() + "/@" + name, contents);
    }
    void UseServer(const std::string& server) {
        SetValue("RepairServer", "REG_SZ\n" + server + "\n");
    }
    bool StillMarked() const { return fs::exists(Key() + "/@IsPatching"); }

    // Every kind of damage a repair has to mend.
    void Damage() {
        Overwrite("data/big.dat", 5 * kMiB, RandomBytes(100, 7));
        Overwrite("bin/Velmor.exe", 10, RandomBytes(10, 8));
        fs::remove_all(m_install + "/data/sub");
        fs::remove(m_install + "/docs/readme.txt");
        RepairTest::WriteBytes(m_install + "/extra.bin", RandomBytes(5 * kMiB, 9));
        RepairTest::WriteBytes(m_install + "/data/extra/x.txt", RandomBytes(10, 10));
        std::ofstream(m_install + "/data/grow.dat", std::ios::binary | std::ios::app)
            << std::string(4 * kMiB, 'g');
        fs::resize_file(m_install + "/data/shrink.dat", 2 * kMiB);
    }
    void Overwrite(const std::string& name, size_t offset, const Bytes& bytes) {
        std::fstream file(m_install + "/" + name, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(offset));
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    // Name -> size and hash of the installation's files, but the checksum file the repair
    // keeps there; short enough to show when they differ.
    std::map<std::string, std::string> Installed() const { return Digests(m_install); }
    std::map<std::string, std::string> Reference() const { return Digests(m_reference); }
    static std::map<std::string, std::string> Digests(const std::string& root) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const std::string name = fs::relative(entry.path(), root).string();
            if (!entry.is_regular_file() || name == "repair.cks")
                continue;
            const std::string bytes = ReadFile(entry.path().string());
            files[name] = std::to_string(bytes.size()) + " " +
                          std::to_string(std::hash<std::string>()(bytes));
        }
        return files;
    }

    CliRun Repair(std::vector<std::string> arguments = {"--repair"}) const {
        return RunCli(ORVIK_BINARY_DIR "/app/cli/InstallPatchCLI", m_folder / "registry",
                      m_folder / "temp", std::move(arguments));
    }

    TestFolder m_folder;
    std::string m_reference = m_folder / "reference";
    std::string m_install = m_folder / "install";
};

// What the installer said, for a failure message.
std::string Said(const CliRun& run) {
    std::string text;
    for (const auto& line : run.lines)
        text += line + "\n";
    return text;
}

std::string SegmentsLine(unsigned received, unsigned total) {
    char text[64];
    snprintf(text, sizeof text, "(%u / %u segments updated.)", received, total);
    return text;
}

TEST_F(RepairModeTest, DamagedInstallationEndsLikeTheReference) {
    Damage();
    RepairTest::RepairServerProcess server(m_reference, true);
    UseServer(server.Address());

    const CliRun run = Repair({"--repair", m_install});
    EXPECT_EQ(run.exitCode, 0);
    // big #1, Velmor #0, file.txt, readme.txt, extra.bin, x.txt, grow #0 and #1, shrink #0
    // and #1.
    EXPECT_TRUE(InOrder(run.lines, Then(kStages, {SegmentsLine(10, 10), kCompleted}))) << Said(run);
    EXPECT_EQ(Installed(), Reference());
    EXPECT_FALSE(StillMarked());
}

// A server that announces three segments, sends the one that mends big.dat and hangs up.
void ServeOneSegmentOfThree(ZephUtil::ZephDataBufferTCP& peer, const std::string& reference) {
    uint32_t version = 0;
    // A scripted peer: the client under test decides how far it gets.
    (void)ZephUtil::ReadUint32(peer, &version);
    (void)ZephUtil::WriteUint32(peer, ZephPatch::kAgentProtocolVersion);
    ZephPatch::FileTreeSummary summary;
    (void)summary.Load(peer);
    (void)ZephUtil::WriteUint32(peer, 3);
    const Bytes all = RepairTest::ReadBytes(reference + "/data/big.dat");
    const Bytes segment(all.begin() + 4 * kMiB, all.begin() + 8 * kMiB);
    ZephPatch::WireWriter message;
    ZephPatch::WriteSegmentHeader(message, 0, "data\\big.dat#001",
                                  ZephPatch::FinishSegmentChecksum(ZephPatch::UpdateSegmentChecksum(
                                      0, segment.data(), segment.size())),
                                  static_cast<uint32_t>(segment.size()));
    message.Bytes().insert(message.Bytes().end(), segment.begin(), segment.end());
    (void)peer.Write(message.Bytes().data(), static_cast<uint32_t>(message.Bytes().size()));
    // Hang up after what was sent has arrived, so that no reset overtakes it.
    (void)peer.Shutdown(1);
    uint8_t byte;
    while (peer.Read(&byte, 1) == 0) {
    }
}

TEST_F(RepairModeTest, DroppedConnectionAbortsAndTheNextRepairFinishes) {
    Damage();
    // The installation from the registry this time, named with a trailing separator.
    WriteFile(Key() + "/Velmor/@ProductClass", "REG_SZ\nVelmor\n");
    WriteFile(Key() + "/Velmor/@ProductInstallPath", "REG_SZ\n" + m_install + "/\n");
    {
        RepairTest::ScriptedServer dropping(
            [&](ZephUtil::ZephDataBufferTCP& peer) { ServeOneSegmentOfThree(peer, m_reference); });
        UseServer("127.0.0.1:" + std::to_string(dropping.Endpoint().port));
        const CliRun run = Repair();
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(InOrder(
            run.lines, Then(kStages, {SegmentsLine(1, 3), "Error occurred while repairing files.",
                                      "(Error 3 in stage 5)", kAborted})))
            << Said(run);
    }
    EXPECT_TRUE(StillMarked());
    // What arrived stays written.
    EXPECT_EQ(Installed()["data/big.dat"], Reference()["data/big.dat"]);

    RepairTest::RepairServerProcess server(m_reference);
    UseServer(server.Address());
    const CliRun run = Repair();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(InOrder(run.lines, Then(kStages, {SegmentsLine(9, 9), kCompleted}))) << Said(run);
    EXPECT_EQ(Installed(), Reference());
    EXPECT_FALSE(StillMarked());
}

TEST_F(RepairModeTest, ServerOfAnotherVersionOrUnknownHostTouchesNothing) {
    Damage();
    const auto damaged = Installed();
    {
        RepairTest::ScriptedServer newer([](ZephUtil::ZephDataBufferTCP& peer) {
            uint32_t version = 0;
            // A scripted peer: the client under test decides how far it gets.
            (void)ZephUtil::ReadUint32(peer, &version);
            (void)ZephUtil::WriteUint32(peer, 7);
            (void)peer.Read(&version, 4);  // until the client hangs up
        });
        UseServer("127.0.0.1:" + std::to_string(newer.Endpoint().port));
        const CliRun run = Repair({"--repair", m_install});
        EXPECT_EQ(run.exitCode, 3);
        EXPECT_TRUE(InOrder(
            run.lines, {"Unable to connect to patch servers.", "(Error 10 in stage 3)", kAborted}))
            << Said(run);
        EXPECT_FALSE(Contains(run.lines, "Receiving updated files."));
    }
    fs::remove(m_install + "/repair.cks");

    UseServer("repair.invalid");
    const CliRun run = Repair({"--repair", m_install});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(InOrder(run.lines, {"Unable to contact repair server; check your network "
                                    "connection.",
                                    kAborted}));
    EXPECT_FALSE(Contains(run.lines, kStages[0]));
    EXPECT_FALSE(fs::exists(m_install + "/repair.cks"));
    EXPECT_EQ(Installed(), damaged);
    EXPECT_TRUE(StillMarked());
}

}  // namespace
}  // namespace orvik_test
