// zephrepaird --root=FOLDER [--listen=ADDRESS:PORT] [--compress] [--quiet] [--clients=N]
//             [--timeout=SECONDS] | --help | --version
#pragma once

#include <asio/ip/tcp.hpp>

#include <string>

namespace ZephRepairServer {

struct ServerOptions {
    std::string root;
    // Every local IPv4 address, port 6000.
    asio::ip::tcp::endpoint listen{asio::ip::address_v4::any(), 6000};
    bool compress = false;
    // Clients served at once (more wait their turn), each on a thread of the pool.
    int clients = 32;
    // A client silent for this long, before or during its repair, is hung up on.
    int timeoutMilliseconds = 60000;
    // No line per segment while the reference tree is read at start.
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Options as "--name value" or "--name=value". False, with the reason in `error`, for an
// unknown or incomplete argument, an unusable address, or (unless help or the version is
// asked for) a root that is no folder.
[[nodiscard]] bool ParseServerOptions(int argc, char** argv, ServerOptions* options,
                                      std::string* error);

// "0.0.0.0:6000", "[::]:6000": how an endpoint is written on the command line.
[[nodiscard]] std::string EndpointText(const asio::ip::tcp::endpoint& endpoint);

// What --help prints.
extern const char kServerUsage[];

}  // namespace ZephRepairServer
