// Result codes of the socket layer and the repair client, and the socket endpoint.
#pragma once

#include <cstdint>

namespace ZephUtil {

enum ZephResult : int {
    ZEPHRESULT_OK = 0,
    ZEPHRESULT_CONNECTION_LOST = 3,  // connection lost or host unreachable
    ZEPHRESULT_BAD_ADDRESS = 5,
    ZEPHRESULT_NOT_SUPPORTED = 6,  // seek and set-size on a socket buffer
    ZEPHRESULT_INVALID_STATE = 7,  // no socket, connect while connected, invalid request
    ZEPHRESULT_FAILED = 11,        // any other system error
    ZEPHRESULT_REFUSED = 12,
    ZEPHRESULT_CLOSED = 13,   // the peer closed during a read, or the request was aborted
    ZEPHRESULT_PARTIAL = 14,  // a read ended early under the partial-read flag
};

// The result code of a system error number (0 for 0).
[[nodiscard]] int MapSocketError(int osError);

// An IPv4 address and a port, both in host byte order.
struct SocketEndpoint {
    uint32_t address = 0xFFFFFFFF;
    uint16_t port = 0;
};

}  // namespace ZephUtil
