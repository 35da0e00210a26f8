// Result codes of the transfer layer, and what every transfer takes from its caller.
#pragma once

#include "kernel/reporter.h"
#include "transfer/transfer_settings.h"

namespace ZephUtil {

// 0 is success; any other value not listed here is a data buffer's own write error code.
enum TransferResult : int {
    kTransferOk = 0,
    kTransferFailed = 3,        // connection, request, read or write failure
    kTransferBadUrl = 5,        // the URL could not be split, or has no usable scheme
    kTransferNotConnected = 7,  // FTP operation without a connection
    kTransferBadScheme = 10,    // neither ftp, http nor https
    kTransferCancelled = 13,    // the reporter said not to go on
};

// How patiently one transfer waits and retries, and whom it tells: the reporter takes the
// user-visible lines and is asked before every chunk and between attempts, on the
// transferring thread; false stops the transfer with kTransferCancelled.
struct TransferContext {
    TransferSettings settings;
    ZephPatch::Reporter& reporter;
};

}  // namespace ZephUtil
