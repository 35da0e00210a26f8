// What the fetch loop asks of a protocol: one attempt at a whole resource or at its size.
// The loop owns retries and pauses; the protocol owns connections, resume and diagnostics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kernel/buffers/data_buffer.h"
#include "transfer/transfer_result.h"
#include "transfer/url.h"

namespace ZephUtil {

// One attempt's transfer code, and whether trying again cannot help (the server said the
// resource is not there, the certificate is wrong, the user cancelled...).
struct [[nodiscard]] TransferAttempt {
    int result = kTransferFailed;
    bool final = false;
};

class ProtocolClient {
public:
    virtual ~ProtocolClient() = default;
    // The resource into `buffer`. `retry` is true when an earlier attempt of the same fetch
    // may have left bytes in the buffer.
    virtual TransferAttempt Fetch(ZephDataBuffer* buffer, bool noCache,
                                  const TransferContext& context, bool retry) = 0;
    virtual TransferAttempt GetSize(uint64_t* size, const TransferSettings& settings) = 0;
    // How many further attempts a failed size query gets.
    [[nodiscard]] virtual int SizeRetries(const TransferSettings& settings) const = 0;
};

// The client for the parts' scheme, or null when it is neither ftp, http nor https. `url` is
// the caller's text, for diagnostics.
[[nodiscard]] std::unique_ptr<ProtocolClient> MakeProtocolClient(const UrlParts& parts,
                                                                 const std::string& url);

}  // namespace ZephUtil
