#include "transfer/body_sink.h"

#include "kernel/system_log.h"

namespace ZephInetInternal {

bool BodySink::Attach(CURL* curl) {
    m_lastArrival = std::chrono::steady_clock::now();
    m_lastProgress = -1;
    m_stalled = false;
    return curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &BodySink::OnBody) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_WRITEDATA, this) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &BodySink::OnProgress) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
}

bool BodySink::Cancelled() {
    if (m_result == ZephUtil::kTransferOk && !m_reporter.ShouldContinue())
        m_result = ZephUtil::kTransferCancelled;
    return m_result == ZephUtil::kTransferCancelled;
}

size_t BodySink::OnBody(char* data, size_t size, size_t count, void* opaque) {
    auto* sink = static_cast<BodySink*>(opaque);
    if (sink->Cancelled())
        return CURL_WRITEFUNC_ERROR;
    // libcurl hands at most CURL_MAX_READ_SIZE bytes per call, far below 4 GiB.
    const auto bytes = static_cast<uint32_t>(size * count);
    const int code = sink->m_buffer->Write(data, bytes);
    if (code != ZephUtil::kBufOk) {
        ZephUtil::Print("WriteData returned %d", code);
        sink->m_result = code;
        return CURL_WRITEFUNC_ERROR;
    }
    sink->m_received += bytes;
    return size * count;
}

// libcurl's own speed check averages over several seconds; this one counts from the last byte.
bool BodySink::StalledNow(curl_off_t received) {
    const auto now = std::chrono::steady_clock::now();
    if (received != m_lastProgress) {
        m_lastProgress = received;
        m_lastArrival = now;
    } else if (now - m_lastArrival >= m_stallTimeout) {
        m_stalled = true;
    }
    return m_stalled;
}

// Called about once a second while nothing arrives, so that a cancel never waits for data.
int BodySink::OnProgress(void* opaque, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* sink = static_cast<BodySink*>(opaque);
    return sink->Cancelled() || sink->StalledNow(received) ? 1 : 0;
}

}  // namespace ZephInetInternal
