// Where the body of one transfer goes: a data buffer, chunk by chunk, with the cancel question
// asked before every chunk and while the transfer waits for data.
#pragma once

#include <curl/curl.h>

#include <cstdint>

#include "kernel/data_buffer.h"
#include "transfer/transfer_result.h"

namespace ZephInetInternal {

// REQUIRES: one transfer at a time; the sink must outlive the transfer it is attached to.
class BodySink {
public:
    BodySink(ZephUtil::ZephDataBuffer* buffer, ZephUtil::TransferCallback* callback)
        : m_buffer(buffer), m_callback(callback) {}

    // Routes the handle's body and progress calls here. False when libcurl refused.
    bool Attach(CURL* curl);
    // 0, kTransferCancelled, or the buffer's write error; set when the sink stopped the transfer.
    int Result() const { return m_result; }
    uint64_t Received() const { return m_received; }

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* sink);
    static int OnProgress(void* sink, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    bool Cancelled();

    ZephUtil::ZephDataBuffer* m_buffer;
    ZephUtil::TransferCallback* m_callback;
    int m_result = ZephUtil::kTransferOk;
    uint64_t m_received = 0;
};

}  // namespace ZephInetInternal
