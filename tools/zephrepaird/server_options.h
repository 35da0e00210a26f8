// zephrepaird --root REFERENCE_TREE [--listen ADDR:PORT] [--compress]
#pragma once

#include <string>

#include "repair/socket_result.h"

namespace ZephRepairServer {

struct ServerOptions {
    std::string root;
    ZephUtil::SocketEndpoint listen{0, 6000};  // every local address, port 6000
    bool compress = false;
};

// False, with the reason in `error`, for a missing root or an unusable argument.
bool ParseServerOptions(int argc, char** argv, ServerOptions* options, std::string* error);

}  // namespace ZephRepairServer
