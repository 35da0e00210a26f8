// One received segment on its way to disk. The repair job's thread receives into a task, a
// thread of the task's own inflates a compressed payload, and another writes it; the job hands
// over through the task's flags and waits for those threads before reusing the task.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "kernel/buffers/data_buffer.h"
#include "kernel/threads/thread.h"

namespace ZephPatch {

class ZephAgentClient;

class ZephAgentClientTask {
public:
    ZephAgentClientTask() = default;
    // Waits for a thread of the task that is still running.
    ~ZephAgentClientTask();
    ZephAgentClientTask(const ZephAgentClientTask&) = delete;
    ZephAgentClientTask& operator=(const ZephAgentClientTask&) = delete;

    // Reads one segment message from the client's connection and starts inflating it when it
    // is compressed. False (with a diagnostic) on a read failure, inconsistent flags or a
    // length no segment can have; the task is then free again and nothing is written.
    // REQUIRES: the job thread.
    [[nodiscard]] bool ReceiveFile(ZephAgentClient& client);
    // Starts writing a received task (true at once for a free task or one already begun).
    // False when the task was still writing or its payload did not inflate.
    [[nodiscard]] bool WriteFileBegin();
    // Waits for the task's write, frees the task and returns the write's outcome (true for a
    // free task).
    [[nodiscard]] bool WriteFileEnd();

    [[nodiscard]] bool IsBusy() const { return m_owner != nullptr; }

private:
    [[nodiscard]] static int DecompressEntry(void* task);
    [[nodiscard]] static int WriteEntry(void* task);
    void ThreadedDecompress();
    [[nodiscard]] bool ThreadedWriteFile();
    [[nodiscard]] bool MatchesItsChecksum();
    [[nodiscard]] bool FitsTheRepair(const std::string& localPath, int64_t index);
    [[nodiscard]] bool WriteSegment(const std::string& localPath, int64_t index);
    [[nodiscard]] bool RemoveSegmentData(const std::string& localPath, int64_t index);
    void AwaitThread();
    void Release();

    ZephAgentClient* m_owner = nullptr;  // none while the task is free
    std::string m_name;                  // the segment key
    uint32_t m_checksum = 0;
    bool m_compressed = false;
    std::atomic<bool> m_decompressing{false};
    std::atomic<bool> m_writing{false};
    bool m_writeBegun = false;
    std::atomic<bool> m_result{true};  // of the latest inflation or write
    ZephUtil::ZephDataBufferMemoryDynamic m_data;
    ZephUtil::ZephDataBufferMemoryDynamic m_compressedData;
    OS::ThreadHandle m_thread;  // the inflating or writing thread, until waited for
};

}  // namespace ZephPatch
