#include "tools/zephrepaird/server_options.h"

#include <cstdlib>
#include <string_view>

#include "kernel/files/file_utils.h"

namespace ZephRepairServer {
namespace {

// "ADDRESS:PORT" with an IPv4 address or an IPv6 one in brackets ("[::]:6000").
bool ParseEndpoint(const std::string& text, asio::ip::tcp::endpoint* endpoint) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = text.substr(0, colon);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed)
        host = host.substr(1, host.size() - 2);
    asio::error_code code;
    const asio::ip::address address = asio::ip::make_address(host, code);
    if (code || address.is_v6() != bracketed)
        return false;
    const std::string digits = text.substr(colon + 1);
    char* end = nullptr;
    const unsigned long port = strtoul(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || port > 65535)
        return false;
    *endpoint = {address, static_cast<unsigned short>(port)};
    return true;
}

// A whole number from `lowest` to `highest`.
bool ParseCount(const std::string& text, long lowest, long highest, int* value) {
    char* end = nullptr;
    const long number = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || number < lowest || number > highest)
        return false;
    *value = static_cast<int>(number);
    return true;
}

}  // namespace

const char kServerUsage[] =
    "Usage: zephrepaird --root=FOLDER [--listen=ADDRESS:PORT] [--compress] [--quiet]\n"
    "                   [--clients=N] [--timeout=SECONDS]\n"
    "Serves the reference installation in FOLDER (an installation at the newest build) to\n"
    "the installer's repair mode (InstallPatchCLI --repair, InstallPatchGUI --repair) over TCP.\n"
    "\n"
    "  --root=FOLDER          the reference installation\n"
    "  --listen=ADDRESS:PORT  where to listen (default 0.0.0.0:6000); [::]:6000 takes IPv6\n"
    "                         and IPv4 alike, 127.0.0.1:0 a free loopback port\n"
    "  --compress             send the segments compressed\n"
    "  --quiet                no line per segment while the tree is read at start\n"
    "  --clients=N            repair at most N clients at once (default 32); others wait\n"
    "  --timeout=SECONDS      hang up on a client silent for that long (default 60)\n"
    "  -h, --help             print this text and exit\n"
    "  --version              print the version and exit\n"
    "\n"
    "It serves until it is stopped: SIGTERM, SIGINT (Ctrl+C) or SIGHUP end it with exit\n"
    "status 0. Exit status 1: it cannot listen (the reason is printed); 2: wrong command line.\n";

std::string EndpointText(const asio::ip::tcp::endpoint& endpoint) {
    const std::string address = endpoint.address().to_string();
    const std::string host = endpoint.address().is_v6() ? "[" + address + "]" : address;
    return host + ":" + std::to_string(endpoint.port());
}

bool ParseServerOptions(int argc, char** argv, ServerOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::string value;
        bool hasValue = false;
        if (const size_t equals = argument.find('=');
            argument.starts_with("--") && equals != std::string::npos) {
            value = argument.substr(equals + 1);
            argument.resize(equals);
            hasValue = true;
        } else if ((argument == "--root" || argument == "--listen" || argument == "--clients" ||
                    argument == "--timeout") &&
                   i + 1 < argc) {
            value = argv[++i];
            hasValue = true;
        }
        if (argument == "--root" && hasValue) {
            options->root = value;
        } else if (argument == "--listen" && hasValue) {
            if (!ParseEndpoint(value, &options->listen)) {
                *error = "not an ADDRESS:PORT (IPv6 in brackets): " + value;
                return false;
            }
        } else if (argument == "--clients" && hasValue) {
            if (!ParseCount(value, 1, 4096, &options->clients)) {
                *error = "--clients takes a number from 1 to 4096: " + value;
                return false;
            }
        } else if (argument == "--timeout" && hasValue) {
            int seconds = 0;
            if (!ParseCount(value, 1, 86400, &seconds)) {
                *error = "--timeout takes seconds from 1 to 86400: " + value;
                return false;
            }
            options->timeoutMilliseconds = seconds * 1000;
        } else if (argument == "--compress" && !hasValue) {
            options->compress = true;
        } else if (argument == "--quiet" && !hasValue) {
            options->quiet = true;
        } else if ((argument == "--help" || argument == "-h") && !hasValue) {
            options->help = true;
        } else if (argument == "--version" && !hasValue) {
            options->version = true;
        } else {
            *error = "unknown or incomplete argument: " + std::string(argv[i]);
            return false;
        }
    }
    if (options->help || options->version)
        return true;
    if (options->root.empty() || !ZephUtil::IsDirectory(options->root)) {
        *error = "--root must name the reference installation's folder";
        return false;
    }
    return true;
}

}  // namespace ZephRepairServer
