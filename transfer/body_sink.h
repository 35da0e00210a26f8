// Where the body of one transfer goes: a data buffer, chunk by chunk, with the cancel question
// asked before every chunk and while the transfer waits for data.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>

#include "kernel/buffers/data_buffer.h"
#include "transfer/transfer_result.h"

namespace ZephInetInternal {

// REQUIRES: one transfer at a time; the sink must outlive the transfer it is attached to.
class BodySink {
public:
    // A transfer that receives nothing for `stallTimeout` is stopped (Stalled() then tells).
    BodySink(ZephUtil::ZephDataBuffer* buffer, ZephPatch::Reporter& reporter,
             std::chrono::seconds stallTimeout)
        : m_buffer(buffer), m_reporter(reporter), m_stallTimeout(stallTimeout) {}

    // Routes the handle's body and progress calls here, and starts the stall clock. False when
    // libcurl refused.
    [[nodiscard]] bool Attach(CURL* curl);
    // 0, kTransferCancelled, or the buffer's write error; set when the sink stopped the transfer.
    [[nodiscard]] int Result() const { return m_result; }
    [[nodiscard]] uint64_t Received() const { return m_received; }
    [[nodiscard]] bool Stalled() const { return m_stalled; }
    [[nodiscard]] long StallSeconds() const { return static_cast<long>(m_stallTimeout.count()); }

private:
    [[nodiscard]] static size_t OnBody(char* data, size_t size, size_t count, void* sink);
    [[nodiscard]] static int OnProgress(void* sink, curl_off_t, curl_off_t received, curl_off_t,
                                        curl_off_t);
    [[nodiscard]] bool Cancelled();
    [[nodiscard]] bool StalledNow(curl_off_t received);

    ZephUtil::ZephDataBuffer* m_buffer;
    ZephPatch::Reporter& m_reporter;
    int m_result = ZephUtil::kTransferOk;
    uint64_t m_received = 0;
    std::chrono::seconds m_stallTimeout;
    std::chrono::steady_clock::time_point m_lastArrival;
    curl_off_t m_lastProgress = -1;
    bool m_stalled = false;
};

}  // namespace ZephInetInternal
