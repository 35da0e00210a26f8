// The receive stage: four tasks in a ring, so that receiving one segment overlaps with
// inflating the one received before and writing the one before that.
#include <cstdint>

#include "net/read_ahead_buffer.h"
#include "repair/agent_client.h"
#include "repair/agent_client_task.h"

namespace ZephPatch {
namespace {

constexpr int kTasks = 4;
// The summary is saved after every 33 received segments, so an interrupted repair resumes
// from close to where it stopped.
constexpr int kCheckpointInterval = 32;

}  // namespace

bool ZephAgentClient::ReceiveSegments() {
    // The server sends nothing after the segments, so reading ahead loses nothing.
    ReadAheadBuffer incoming(m_connection, UINT64_MAX);
    m_incoming = &incoming;
    ZephAgentClientTask tasks[kTasks];
    bool allWritten = true;
    int checkpoint = 0;
    if (m_connection.IsConnected()) {
        for (int j = 0; m_received < m_total && !m_cancel && tasks[j].ReceiveFile(*this);
             j = (j + 1) % kTasks) {
            if (checkpoint >= kCheckpointInterval) {
                SaveSummary();
                checkpoint = 0;
            } else {
                ++checkpoint;
            }
            if (!tasks[(j + 1) % kTasks].WriteFileEnd() ||
                !tasks[(j + 2) % kTasks].WriteFileBegin()) {
                allWritten = false;
                break;
            }
            if (!m_connection.IsConnected())
                break;
        }
    }
    // A segment that failed keeps its old row, so the next repair finds it again; but the job
    // does not succeed with a segment unwritten.
    for (ZephAgentClientTask& task : tasks)
        allWritten = task.WriteFileEnd() && allWritten;
    m_incoming = nullptr;
    return allWritten;
}

}  // namespace ZephPatch
