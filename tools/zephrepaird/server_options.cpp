#include "tools/zephrepaird/server_options.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <string_view>

#include "kernel/file_utils.h"

namespace ZephRepairServer {
namespace {

bool ParseEndpoint(const std::string& text, ZephUtil::SocketEndpoint* endpoint) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    in_addr address{};
    if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) != 1)
        return false;
    const std::string digits = text.substr(colon + 1);
    char* end = nullptr;
    const unsigned long port = strtoul(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || port > 65535)
        return false;
    endpoint->address = ntohl(address.s_addr);
    endpoint->port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

bool ParseServerOptions(int argc, char** argv, ServerOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--root" && hasValue) {
            options->root = argv[++i];
        } else if (argument == "--listen" && hasValue) {
            if (!ParseEndpoint(argv[++i], &options->listen)) {
                *error = std::string("not an IPv4 ADDR:PORT: ") + argv[i];
                return false;
            }
        } else if (argument == "--compress") {
            options->compress = true;
        } else {
            *error = "unknown or incomplete argument: " + std::string(argument);
            return false;
        }
    }
    if (options->root.empty() || !ZephUtil::IsDirectory(options->root)) {
        *error = "--root must name the reference installation's folder";
        return false;
    }
    return true;
}

}  // namespace ZephRepairServer
