// Splitting the URLs of patch servers and archives into the parts a connection needs.
#pragma once

#include <string>

namespace ZephUtil {

// `SplitUrl`'s result; the path has no leading '/'.
struct UrlParts {
    std::string scheme;  // lower case: "ftp", "http", "https" or what the URL named
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
    std::string path;
};

// 0 and the parts, or kTransferBadUrl (5) when there is no host, a password comes without a
// user, the port is not a port number, or a scheme other than ftp/http/https has no port.
// A URL without "scheme://" takes its scheme from its port (21, 80, 443) or from the start of
// its host name ("ftp", "https", "http"), else http; a missing port is the scheme's own.
[[nodiscard]] int SplitUrl(const std::string& url, UrlParts* parts);

// The URL curl is given for the parts: scheme, host and port, and the path; the credentials
// travel separately.
[[nodiscard]] std::string ConnectionUrl(const UrlParts& parts);

}  // namespace ZephUtil
