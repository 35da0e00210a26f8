#include "kernel/buffers/block_io.h"
#include "kernel/buffers/compression.h"
#include "repair/agent_client.h"
#include "repair/agent_protocol.h"
#include "repair/segment_checksum.h"
#include "repair/segment_name.h"
#include "repair/wire_format.h"
#include "repair_test_support.h"

namespace {

using namespace ZephPatch;
using namespace RepairTest;
using ZephUtil::ZephDataBufferTCP;

uint32_t ChecksumOf(const Bytes& bytes) {
    return FinishSegmentChecksum(UpdateSegmentChecksum(0, bytes.data(), bytes.size()));
}

Bytes Message(uint8_t flags, const std::string& key, uint32_t checksum, const Bytes& payload) {
    WireWriter out;
    WriteSegmentHeader(out, flags, key, checksum, static_cast<uint32_t>(payload.size()));
    out.Bytes().insert(out.Bytes().end(), payload.begin(), payload.end());
    return out.Bytes();
}

Bytes Raw(const std::string& key, const Bytes& content) {
    return Message(0, key, ChecksumOf(content), content);
}

Bytes Packed(const Bytes& content) {
    auto source = ZephUtil::ZephDataBufferMemoryStatic::CopyOf(content.data(), content.size());
    ZephUtil::ZephDataBufferMemoryDynamic packed;
    EXPECT_EQ(ZephUtil::CompressData(packed, source), 0);
    return packed.Bytes();
}

Bytes Compressed(const std::string& key, const Bytes& content) {
    return Message(1, key, ChecksumOf(content), Packed(content));
}

Bytes Removal(const std::string& key) {
    return Message(0, key, 0, {});
}

void AwaitPeerClose(ZephDataBufferTCP& peer) {
    uint8_t byte;
    while (peer.Read(&byte, 1) == 0) {
    }
}

// The server's side: the version, the client's summary, the count and the messages, then it
// waits for the client to hang up. Announcing more messages than it sends, it closes its side
// after the last one, as a server that went away would.
ScriptedServer::Script Serve(std::vector<Bytes> messages, SummaryMap* seen = nullptr,
                             uint32_t count = UINT32_MAX) {
    return [=](ZephDataBufferTCP& peer) {
        uint32_t version = 0;
        // A scripted peer: the client under test decides how far it gets.
        (void)ZephUtil::ReadUint32(peer, &version);
        (void)ZephUtil::WriteUint32(peer, kAgentProtocolVersion);
        FileTreeSummary summary;
        if (summary.Load(peer) != 0)
            return;
        if (seen)
            *seen = summary.Snapshot();
        (void)ZephUtil::WriteUint32(peer, count == UINT32_MAX ? messages.size() : count);
        for (const Bytes& message : messages)
            (void)peer.Write(message.data(), message.size());
        if (count != UINT32_MAX)
            (void)peer.Shutdown(1);
        AwaitPeerClose(peer);
    };
}

class PipelineTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        m_install = m_folder / "install";
        fs::create_directory(m_install);
    }
    std::string Checksums() const { return (m_install / "repair.cks").string(); }

    void Configure(ZephAgentClient& job, const ZephUtil::SocketEndpoint& server) {
        ASSERT_EQ(job.SetInstallDirectory(m_install.string()), 0);
        ASSERT_EQ(job.SetChecksumFile(Checksums()), 0);
        ASSERT_EQ(job.SetServerAddress(server), 0);
        ASSERT_EQ(job.SetExclusions({(m_install / "unins000.exe").string()}), 0);
        ASSERT_EQ(job.SetStallLimit(m_stallLimit), 0);
    }

    // Runs one job against the script; returns {error, stage}.
    std::pair<int, int> Repair(ScriptedServer::Script script) {
        ScriptedServer server(std::move(script));
        ZephAgentClient job;
        Configure(job, server.Endpoint());
        RunToEnd(job);
        m_received = job.GetSegmentsReceived();
        m_progress = job.GetProgress();
        return {job.GetError(), job.GetStage()};
    }

    SummaryMap SavedSummary() const {
        FileTreeSummary summary;
        ZephUtil::ZephDataBufferFile file(Checksums(), ZephUtil::kFileRead);
        EXPECT_EQ(summary.Load(file), 0);
        return summary.Snapshot();
    }

    fs::path m_install;
    int m_stallLimit = ZephUtil::kDefaultStallLimit;
    uint32_t m_received = 0;
    float m_progress = -1;
};

const std::pair<int, int> kSucceeded{0, kStageComplete};
const std::pair<int, int> kFailedReceiving{ZephUtil::ZEPHRESULT_CONNECTION_LOST, kStageReceiving};

TEST_F(PipelineTest, NothingToSendSucceedsAndTheSummaryLeavesOutItsOwnFiles) {
    WriteBytes(m_install / "a.bin", {1, 2, 3});
    WriteBytes(m_install / "unins000.exe", {4});
    WriteBytes(m_install / "repair.cks", {5});
    SummaryMap seen;
    EXPECT_EQ(Repair(Serve({}, &seen)), kSucceeded);
    EXPECT_FLOAT_EQ(m_progress, 1.0f);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen.begin()->first, "a.bin#000");
    EXPECT_EQ(SavedSummary().size(), 1u);
}

TEST_F(PipelineTest, MismatchedFlagsAreRefusedWithoutWriting) {
    for (const Bytes& message : {Message(1, "a.bin#000", 0, {}), Message(1, "a.bin#000", 7, {})}) {
        EXPECT_EQ(Repair(Serve({message})), kFailedReceiving);
        EXPECT_EQ(m_received, 0u);
        EXPECT_FALSE(fs::exists(m_install / "a.bin"));
    }
}

TEST_F(PipelineTest, RemovedSegmentsDeleteOrCutFiles) {
    WriteBytes(m_install / "gone.bin", RandomBytes(kMiB, 1));
    const Bytes cut = RandomBytes(14 * kMiB, 2);
    WriteBytes(m_install / "cut.bin", cut);
    EXPECT_EQ(Repair(Serve({Removal("gone.bin#000"), Removal("cut.bin#003")})), kSucceeded);
    EXPECT_FALSE(fs::exists(m_install / "gone.bin"));
    EXPECT_EQ(ReadBytes(m_install / "cut.bin"), Bytes(cut.begin(), cut.begin() + 12 * kMiB));
    SummaryMap rows = SavedSummary();
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows.count("cut.bin#003"), 0u);
}

TEST_F(PipelineTest, ARemovalThatCannotDeleteFailsTheJob) {
    // No unlink takes a folder away.
    fs::create_directories(m_install / "folder.bin");
    EXPECT_NE(Repair(Serve({Removal("folder.bin#000")})), kSucceeded);
    EXPECT_TRUE(fs::is_directory(m_install / "folder.bin"));
}

TEST_F(PipelineTest, WrittenSegmentsRawCompressedShortAndAheadOfTheirFile) {
    WriteBytes(m_install / "short.bin", RandomBytes(9 * kMiB, 3));
    const Bytes first = RandomBytes(1000, 4);
    const Bytes third = RandomBytes(100, 5);
    Bytes compressible(kSegmentSize, 'x');
    compressible[12345] = 'y';
    const std::vector<Bytes> messages = {Raw("short.bin#000", first),
                                         Raw("new\\dir\\ahead.bin#002", third),
                                         Compressed("packed.bin#000", compressible)};
    ASSERT_LT(messages[2].size(), kMiB);
    EXPECT_EQ(Repair(Serve(messages)), kSucceeded);

    EXPECT_EQ(ReadBytes(m_install / "short.bin"), first);
    Bytes ahead(2 * kSegmentSize, 0);
    ahead.insert(ahead.end(), third.begin(), third.end());
    EXPECT_EQ(ReadBytes(m_install / "new/dir/ahead.bin"), ahead);
    EXPECT_TRUE(ReadBytes(m_install / "packed.bin") == compressible);

    const SummaryMap rows = SavedSummary();
    EXPECT_EQ(rows.at("short.bin#000").checksum, ChecksumOf(first));
    EXPECT_EQ(rows.count("short.bin#001"), 0u);
    EXPECT_EQ(rows.at("packed.bin#000").checksum, ChecksumOf(compressible));
}

TEST_F(PipelineTest, SegmentOffsetsBeyondFourGiB) {
    // The segments before it are announced (a file cannot grow past what they could fill),
    // but the server goes away before sending them.
    const Bytes tail = RandomBytes(10, 6);
    EXPECT_EQ(Repair(Serve({Raw("huge.bin#1024", tail)}, nullptr, 1025)), kFailedReceiving);
    const fs::path huge = m_install / "huge.bin";
    ASSERT_EQ(fs::file_size(huge), (uint64_t{1} << 32) + 10);
    std::ifstream in(huge, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(uint64_t{1} << 32));
    Bytes read(10);
    in.read(reinterpret_cast<char*>(read.data()), 10);
    EXPECT_EQ(read, tail);
}

TEST_F(PipelineTest, KeysLeavingTheInstallationAreRefused) {
    for (const char* key : {"..\\outside.bin#000", "\\tmp\\abs.bin#000", "a\\..\\..\\up.bin#000",
                            "c:\\drive.bin#000", "neg.bin#-01", "odd.bin#1"}) {
        EXPECT_EQ(Repair(Serve({Raw(key, {1, 2, 3})})), kFailedReceiving) << key;
        EXPECT_TRUE(SavedSummary().empty()) << key;
    }
    EXPECT_FALSE(fs::exists(m_folder / "outside.bin"));
    EXPECT_FALSE(fs::exists(m_folder / "up.bin"));
    EXPECT_FALSE(fs::exists("/tmp/abs.bin"));
    EXPECT_EQ(std::distance(fs::directory_iterator(m_install), {}), 1);  // repair.cks
}

TEST_F(PipelineTest, NetworkLengthsAreCheckedBeforeAllocation) {
    WireWriter longName;
    longName.U8(0);
    longName.U32(0x7FFFFFFF);
    WireWriter longRaw;
    WriteSegmentHeader(longRaw, 0, "a#000", 5, kMaxRawPayload + 1);
    WireWriter longPacked;
    WriteSegmentHeader(longPacked, 1, "a#000", 5, MaxCompressedPayload() + 1);
    // A small payload whose block says it inflates to 8 MiB.
    const Bytes inflating = {1, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0x80, 0, 1, 2, 3, 4};
    for (const Bytes& message : {longName.Bytes(), longRaw.Bytes(), longPacked.Bytes(),
                                 Message(1, "a#000", 5, inflating)}) {
        EXPECT_EQ(Repair(Serve({message})), kFailedReceiving);
        EXPECT_FALSE(fs::exists(m_install / "a"));
    }
}

// What a hostile server may try: data other than it says, files far larger than it can fill,
// writes through links, and saying nothing at all.

TEST_F(PipelineTest, SegmentsThatDoNotMatchTheirChecksumReplaceNothing) {
    const Bytes original = RandomBytes(5 * kMiB, 10);
    WriteBytes(m_install / "bin/Velmor.exe", original);
    const Bytes forged = RandomBytes(40, 11);
    for (const Bytes& message :
         {Message(0, "bin\\Velmor.exe#000", ChecksumOf(forged) ^ 1, forged),
          Message(1, "bin\\Velmor.exe#000", ChecksumOf(forged) ^ 1, Packed(forged))}) {
        EXPECT_EQ(Repair(Serve({message})), kFailedReceiving);
        EXPECT_EQ(ReadBytes(m_install / "bin/Velmor.exe"), original);
        EXPECT_EQ(SavedSummary().at("bin\\Velmor.exe#000").checksum,
                  ChecksumOf(Bytes(original.begin(), original.begin() + kSegmentSize)));
    }
}

TEST_F(PipelineTest, AServerCannotMakeFilesLargerThanItsSegmentsOrTheDiskCanFill) {
    // One byte a tebibyte into a file: nothing announced could fill the hole before it.
    EXPECT_EQ(Repair(Serve({Raw("docs\\huge.txt#262144", {'x'})})), kFailedReceiving);
    EXPECT_FALSE(fs::exists(m_install / "docs/huge.txt"));
    // Announcing every segment before it makes the hole fillable, but not on this disk.
    const fs::space_info space = fs::space(m_install);
    if (space.available < (uint64_t{1} << 40)) {
        EXPECT_EQ(Repair(Serve({Raw("docs\\huge.txt#262144", {'x'})}, nullptr, 262145)),
                  kFailedReceiving);
        EXPECT_FALSE(fs::exists(m_install / "docs/huge.txt"));
    }
}

TEST_F(PipelineTest, CancellingReachesTheScanOfAHugeFile) {
    // A sparse tebibyte: reading it whole would take hours.
    WriteBytes(m_install / "huge.bin", {});
    std::error_code error;
    fs::resize_file(m_install / "huge.bin", uint64_t{1} << 40, error);
    if (error)
        GTEST_SKIP() << "no sparse files here: " << error.message();
    auto job = std::make_unique<ZephAgentClient>();
    Configure(*job, {kLoopback, UnusedPort()});
    job->StartRepair();
    while (job->GetStage() < kStageScanning)
        OS::Sleep(5);
    OS::Sleep(200);
    job.reset();  // returns once the scan has seen the cancel
    EXPECT_FALSE(fs::exists(Checksums())) << "a cancelled scan saves nothing";
}

TEST_F(PipelineTest, WritesFollowFolderLinksButNotFileLinksLeadingOut) {
#ifdef _WIN32
    GTEST_SKIP() << "makes symbolic links, which this Windows runtime cannot";
#endif
    const fs::path elsewhere = m_folder / "elsewhere";
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, m_install / "data");
    const Bytes victim = {'k', 'e', 'e', 'p'};
    WriteBytes(m_folder / "victim.txt", victim);
    fs::create_directories(m_install / "bin");
    fs::create_symlink(m_folder / "victim.txt", m_install / "bin/Velmor.exe");
    fs::create_symlink(m_folder / "absent.txt", m_install / "bin/dangling.dll");

    const Bytes content = RandomBytes(40, 12);
    EXPECT_EQ(Repair(Serve({Raw("data\\x.bin#000", content)})), kSucceeded);
    EXPECT_EQ(ReadBytes(elsewhere / "x.bin"), content);
    for (const char* key : {"bin\\Velmor.exe#000", "bin\\dangling.dll#000"})
        EXPECT_EQ(Repair(Serve({Raw(key, content)})), kFailedReceiving) << key;
    EXPECT_EQ(ReadBytes(m_folder / "victim.txt"), victim);
    EXPECT_FALSE(fs::exists(m_folder / "absent.txt"));
}

TEST_F(PipelineTest, AServerThatFallsSilentFailsTheRepairAfterTheStallLimit) {
    m_stallLimit = 300;
    // Silent after the connection, after the summary, and in the middle of a segment.
    const auto silent = [](ZephDataBufferTCP& peer) { AwaitPeerClose(peer); };
    EXPECT_EQ(Repair(silent), std::make_pair(kRepairVersionMismatch, int{kStageConnecting}));
    const auto afterSummary = [](ZephDataBufferTCP& peer) {
        uint32_t version = 0;
        // A scripted peer: the client under test decides how far it gets.
        (void)ZephUtil::ReadUint32(peer, &version);
        (void)ZephUtil::WriteUint32(peer, kAgentProtocolVersion);
        FileTreeSummary summary;
        (void)summary.Load(peer);
        AwaitPeerClose(peer);
    };
    EXPECT_EQ(Repair(afterSummary),
              std::make_pair(int{ZephUtil::ZEPHRESULT_CONNECTION_LOST}, int{kStageExchanging}));
    Bytes half = Raw("a.bin#000", RandomBytes(kMiB, 13));
    half.resize(half.size() / 2);
    EXPECT_EQ(Repair(Serve({half})), kFailedReceiving);
    EXPECT_FALSE(fs::exists(m_install / "a.bin"));
}

TEST_F(PipelineTest, AServerThatGoesAwayMidStreamLeavesWhatArrivedAndErrorThree) {
    const Bytes content = RandomBytes(5000, 7);
    const auto [error, stage] = Repair(Serve({Raw("kept.bin#000", content)}, nullptr, 3));
    EXPECT_EQ(error, ZephUtil::ZEPHRESULT_CONNECTION_LOST);
    EXPECT_EQ(stage, kStageReceiving);
    EXPECT_EQ(m_received, 1u);
    EXPECT_FLOAT_EQ(m_progress, 1.0f / 3);
    EXPECT_EQ(ReadBytes(m_install / "kept.bin"), content);
    EXPECT_EQ(SavedSummary().at("kept.bin#000").checksum, ChecksumOf(content));
}

TEST_F(PipelineTest, AServerThatHangsUpBeforeTheCountFailsInStageFour) {
    const auto [error, stage] = Repair([](ZephDataBufferTCP& peer) {
        uint32_t version = 0;
        // A scripted peer: the client under test decides how far it gets.
        (void)ZephUtil::ReadUint32(peer, &version);
        (void)ZephUtil::WriteUint32(peer, kAgentProtocolVersion);
        FileTreeSummary summary;
        (void)summary.Load(peer);
        (void)peer.Shutdown(1);
        AwaitPeerClose(peer);
    });
    EXPECT_EQ(error, ZephUtil::ZEPHRESULT_CLOSED);
    EXPECT_EQ(stage, kStageExchanging);
}

TEST_F(PipelineTest, AnotherProtocolVersionEndsInStageThreeBeforeTheSummary) {
    int afterVersion = -1;
    const auto result = Repair([&](ZephDataBufferTCP& peer) {
        uint32_t version = 0;
        // A scripted peer: the client under test decides how far it gets.
        (void)ZephUtil::ReadUint32(peer, &version);
        (void)ZephUtil::WriteUint32(peer, 7);
        afterVersion = peer.Read(&version, 4);
    });
    EXPECT_EQ(result, std::make_pair(kRepairVersionMismatch, int{kStageConnecting}));
    EXPECT_NE(afterVersion, 0);  // no summary came
}

TEST_F(PipelineTest, ConfigurationIsCheckedAndFrozenWhileRunning) {
    ZephAgentClient job;
    EXPECT_EQ(job.SetInstallDirectory(""), kRepairBadConfiguration);
    EXPECT_EQ(job.SetInstallDirectory("/opt"), kRepairBadConfiguration);
    EXPECT_EQ(job.SetInstallDirectory("\"/opt/velmor"), kRepairBadConfiguration);
    EXPECT_EQ(job.SetInstallDirectory("/opt/velm\xC3\xB6"), kRepairBadConfiguration);
    EXPECT_EQ(job.SetChecksumFile(""), kRepairBadConfiguration);
    RunToEnd(job);  // nothing configured
    EXPECT_EQ(job.GetError(), kRepairBadConfiguration);
    EXPECT_EQ(job.GetStage(), kStageStarted);
    EXPECT_FALSE(job.Succeeded());

    // A server that never answers: the job waits in stage 3 until it is destroyed.
    ScriptedServer silent([](ZephDataBufferTCP& peer) { AwaitPeerClose(peer); });
    auto running = std::make_unique<ZephAgentClient>();
    Configure(*running, silent.Endpoint());
    running->StartRepair();
    while (running->GetStage() < kStageConnecting)
        OS::Sleep(5);
    EXPECT_EQ(running->SetInstallDirectory(m_install.string()), kRepairReconfigureWhileRunning);
    EXPECT_EQ(running->SetExclusions({}), kRepairReconfigureWhileRunning);
    EXPECT_FLOAT_EQ(running->GetProgress(), 0.0f);
    running.reset();  // cancels: the blocked read fails at once
}

}  // namespace
