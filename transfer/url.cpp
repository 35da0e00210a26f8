// `SplitUrl`: scheme, user information, host, port and path of a server or archive URL.
#include "transfer/url.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "transfer/transfer_result.h"

namespace ZephUtil {
namespace {

constexpr int kNoPort = 0;
constexpr int kBadPort = -1;

std::string Lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix;
}

// The decimal port after the host's ':'; text that is not a number counts as no port at all,
// a number beyond the port range is an error.
int ParsePort(std::string_view text) {
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return kNoPort;
    int port = 0;
    for (char c : text) {
        port = port * 10 + (c - '0');
        if (port > 65535)
            return kBadPort;
    }
    return port;
}

int DefaultPort(const std::string& scheme) {
    if (scheme == "http")
        return 80;
    if (scheme == "https")
        return 443;
    if (scheme == "ftp")
        return 21;
    return kNoPort;
}

std::string SchemeFromPortOrHost(int port, std::string_view host) {
    if (port == 21)
        return "ftp";
    if (port == 443)
        return "https";
    if (port == 80)
        return "http";
    if (StartsWithNoCase(host, "ftp"))
        return "ftp";
    if (StartsWithNoCase(host, "https"))
        return "https";
    return "http";
}

}  // namespace

int SplitUrl(const std::string& url, UrlParts* parts) {
    UrlParts result;
    std::string_view rest = url;
    const size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string_view::npos) {
        result.scheme = Lower(rest.substr(0, schemeEnd));
        rest.remove_prefix(schemeEnd + 3);
    }
    // User information lives before the path: an '@' further on belongs to the path.
    const size_t slash = rest.find('/');
    std::string_view hostPart = rest.substr(0, slash);
    if (slash != std::string_view::npos)
        result.path = rest.substr(slash + 1);
    const size_t at = hostPart.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = hostPart.substr(0, at);
        const size_t colon = userInfo.find(':');
        result.user = userInfo.substr(0, colon);
        if (colon != std::string_view::npos)
            result.password = userInfo.substr(colon + 1);
        hostPart.remove_prefix(at + 1);
    }
    const size_t colon = hostPart.find(':');
    result.host = hostPart.substr(0, colon);
    if (colon != std::string_view::npos)
        result.port = ParsePort(hostPart.substr(colon + 1));

    if (result.host.empty() || result.port == kBadPort ||
        (!result.password.empty() && result.user.empty()))
        return kTransferBadUrl;
    if (result.scheme.empty())
        result.scheme = SchemeFromPortOrHost(result.port, result.host);
    if (result.port == kNoPort)
        result.port = DefaultPort(result.scheme);
    if (result.port == kNoPort)
        return kTransferBadUrl;
    *parts = std::move(result);
    return kTransferOk;
}

std::string ConnectionUrl(const UrlParts& parts) {
    return parts.scheme + "://" + parts.host + ":" + std::to_string(parts.port) + "/" + parts.path;
}

}  // namespace ZephUtil
