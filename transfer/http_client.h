// HTTP and HTTPS: one GET per attempt, the body into a data buffer.
#pragma once

#include "transfer/protocol_client.h"

namespace ZephUtil {

// An error status (400 and above) is a failure: an error page never becomes a catalogue or an
// archive. Client errors other than 408 and 429 are final. REQUIRES: one thread at a time.
class HttpClient : public ProtocolClient {
public:
    HttpClient(const UrlParts& parts, const std::string& url) : m_parts(parts), m_url(url) {}

    // A retry starts over: the buffer is emptied first.
    TransferAttempt Fetch(ZephDataBuffer* buffer, bool noCache, const TransferContext& context,
                          bool retry) override;
    // From the Content-Length of a GET whose body is not read; no such header is a failure.
    TransferAttempt GetSize(uint64_t* size, const TransferSettings& settings) override;
    [[nodiscard]] int SizeRetries(const TransferSettings& settings) const override {
        return settings.httpSizeRetries;
    }

private:
    UrlParts m_parts;
    std::string m_url;
};

}  // namespace ZephUtil
