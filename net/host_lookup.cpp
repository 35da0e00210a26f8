#include "net/host_lookup.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

namespace ZephUtil {

bool LookUpHostIPv4(const std::string& host, uint32_t* address) {
    if (host.empty())
        return false;
    asio::io_context io;
    asio::ip::tcp::resolver resolver(io);
    asio::error_code code;
    const auto found = resolver.resolve(asio::ip::tcp::v4(), host, "", code);
    if (code || found.empty())
        return false;
    *address = found.begin()->endpoint().address().to_v4().to_uint();
    return true;
}

}  // namespace ZephUtil
