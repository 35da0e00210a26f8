#include "net/socket_result.h"

#include <asio/error.hpp>

namespace ZephUtil {

// Asio's error values are the system's own numbers (errno on Linux, Winsock and Win32 codes on
// Windows, where Asio also turns ERROR_NETNAME_DELETED into a reset connection); the few it
// has no name for are spelled out.
int MapSocketError(int osError) {
    switch (osError) {
        case 0:
            return ZEPHRESULT_OK;
        case asio::error::network_down:
        case asio::error::network_unreachable:
        case asio::error::connection_reset:
        case asio::error::timed_out:
        case asio::error::host_unreachable:
        case asio::error::broken_pipe:  // a send after the peer reset the connection
            return ZEPHRESULT_CONNECTION_LOST;
        case asio::error::operation_aborted:
            return ZEPHRESULT_CLOSED;
        case asio::error::fault:
        case asio::error::address_family_not_supported:
#ifdef _WIN32
        case WSAEADDRNOTAVAIL:
#else
        case EADDRNOTAVAIL:
#endif
            return ZEPHRESULT_BAD_ADDRESS;
        case asio::error::invalid_argument:
        case asio::error::already_started:
        case asio::error::not_socket:
        case asio::error::bad_descriptor:  // the socket was closed under the request
#ifdef _WIN32
        case WSANOTINITIALISED:
#endif
            return ZEPHRESULT_INVALID_STATE;
        case asio::error::connection_refused:
            return ZEPHRESULT_REFUSED;
        default:
            return ZEPHRESULT_FAILED;
    }
}

}  // namespace ZephUtil
