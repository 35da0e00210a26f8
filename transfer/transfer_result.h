// Result codes of the transfer layer, the cancel question it asks before every chunk, and the
// report operation through which it shows user messages.
#pragma once

#include <functional>
#include <string>

namespace ZephUtil {

// 0 is success; any other value not listed here is a data buffer's own write error code.
enum TransferResult : int {
    kTransferOk = 0,
    kTransferFailed = 3,        // connection, request, read or write failure
    kTransferBadUrl = 5,        // the URL could not be split, or has no usable scheme
    kTransferNotConnected = 7,  // FTP operation without a connection
    kTransferBadScheme = 10,    // neither ftp, http nor https
    kTransferCancelled = 13,    // the callback asked to stop
};

// Asked before every chunk of a transfer, on the transferring thread; true stops it with 13.
class TransferCallback {
public:
    virtual ~TransferCallback() = default;
    virtual bool IsCancelled() = 0;
};

// One user-visible line (UTF-8) at a message level; empty when no one listens.
using TransferReport = std::function<void(int level, const std::string& text)>;

}  // namespace ZephUtil
