// The repair job: on a thread of its own it scans the installation, connects to the repair
// server, sends its summary and writes the segments the server sends back, through numbered
// stages that its driver polls.
// Implemented in agent_client.cpp and receive_pipeline.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "kernel/threads/event.h"
#include "kernel/threads/thread.h"
#include "net/data_buffer_tcp.h"
#include "repair/file_tree_summary.h"

namespace ZephPatch {

enum RepairStage : int {
    kStageIdle = 0,     // constructed or reconfigured
    kStageStarted = 1,  // checking the configuration
    kStageScanning = 2,
    kStageConnecting = 3,  // connecting and checking the protocol version
    kStageExchanging = 4,  // sending the summary, reading the segment count
    kStageReceiving = 5,   // receiving and writing segments
    kStageComplete = 6,
};

class ZephAgentClient {
public:
    ZephAgentClient();
    // Cancels a running job (its connection is closed, so a blocked read fails at once) and
    // waits for its thread.
    ~ZephAgentClient();
    ZephAgentClient(const ZephAgentClient&) = delete;
    ZephAgentClient& operator=(const ZephAgentClient&) = delete;

    // Configuration: 7 while running; 5 for an unusable value; else 0, and the job is idle
    // again (stage 0, no error, not completed). An installation folder must be longer than
    // four characters and neither start nor end with a double quote or a non-ASCII character.
    int SetInstallDirectory(const std::string& path);
    int SetChecksumFile(const std::string& path);
    int SetServerAddress(const ZephUtil::SocketEndpoint& server);
    // Absolute paths, or paths relative to the installation folder, left out of the summary.
    int SetExclusions(const std::set<std::string>& paths);
    // How long a network wait may go without a byte before the job fails (7 while running).
    int SetStallLimit(int milliseconds);

    // Starts the job thread (nothing happens while it runs).
    void StartRepair();

    // Safe to call from any thread while the job runs; values may lag by a moment.
    [[nodiscard]] bool IsRunning() const { return m_running; }
    [[nodiscard]] int GetStage() const { return m_stage; }
    [[nodiscard]] int GetError() const { return m_error; }
    [[nodiscard]] uint32_t GetSegmentsReceived() const { return m_received; }
    [[nodiscard]] uint32_t GetSegmentsTotal() const { return m_total; }
    [[nodiscard]] bool Succeeded() const {
        return !m_running && m_stage == kStageComplete && m_error == 0;
    }
    // 0..1: the share of announced segments received while receiving, 1 once complete.
    [[nodiscard]] float GetProgress() const;
    // Waits up to `milliseconds` for the job to reach another stage or end; returns at once
    // when it did so since the last call. Safe to call from one thread besides the job's.
    void WaitForChange(int milliseconds) const;

    // For the job's tasks: the segment messages, while the receive stage runs.
    ZephUtil::ZephDataBuffer& Incoming() { return *m_incoming; }
    FileTreeSummary& Summary() { return m_summary; }
    [[nodiscard]] const std::string& InstallDirectory() const { return m_installDirectory; }
    void CountReceivedSegment() { ++m_received; }
    // Takes `bytes` of growth from what the disk had free when the segments began to arrive;
    // false, taking nothing, when that would overdraw it. Safe for concurrent use.
    [[nodiscard]] bool TakeSpace(uint64_t bytes);
    // Files this job created (a segment arrived for a file that was not there); their mode
    // follows the rule for new files once their first bytes are in. Safe for concurrent use.
    void NoteNewFile(const std::string& path);
    [[nodiscard]] bool IsNewFile(const std::string& path);

private:
    [[nodiscard]] static int RunRepairEntry(void* client);
    [[nodiscard]] int RunRepair();
    [[nodiscard]] bool ScanInstallation();
    [[nodiscard]] bool ReceiveSegments();
    void SaveSummary();
    void Reconfigured();
    void SetStage(RepairStage stage);

    std::atomic<int> m_stage{kStageIdle};
    OS::Thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_completed{false};
    std::atomic<int> m_error{0};
    std::atomic<bool> m_cancel{false};
    std::string m_installDirectory;
    std::string m_checksumFile;
    ZephUtil::SocketEndpoint m_server;
    std::set<std::string> m_exclusions;
    FileTreeSummary m_summary;
    ZephUtil::ZephDataBufferTCP m_connection;
    ZephUtil::ZephDataBuffer* m_incoming = nullptr;  // m_connection, read ahead
    std::atomic<uint32_t> m_total{0};
    std::atomic<uint32_t> m_received{0};
    std::atomic<uint64_t> m_spaceLeft{UINT64_MAX};
    // Set (auto reset) when the job thread moves to another stage or ends.
    const OS::EventHandle m_changed = OS::CreateEventHandle(false, false);
    std::mutex m_newFilesMutex;
    std::set<std::string> m_newFiles;
};

}  // namespace ZephPatch
