#include "net/socket_result.h"

#include <cerrno>

namespace ZephUtil {

int MapSocketError(int osError) {
    switch (osError) {
        case 0:
            return ZEPHRESULT_OK;
        case ENETDOWN:
        case ENETUNREACH:
        case ECONNRESET:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case EPIPE:  // a send after the peer reset the connection
            return ZEPHRESULT_CONNECTION_LOST;
        case ECANCELED:
            return ZEPHRESULT_CLOSED;
        case EFAULT:
        case EAFNOSUPPORT:
        case EADDRNOTAVAIL:
            return ZEPHRESULT_BAD_ADDRESS;
        case EINVAL:
        case EALREADY:
        case ENOTSOCK:
        case EBADF:  // the socket was closed under the request
            return ZEPHRESULT_INVALID_STATE;
        case ECONNREFUSED:
            return ZEPHRESULT_REFUSED;
        default:
            return ZEPHRESULT_FAILED;
    }
}

}  // namespace ZephUtil
