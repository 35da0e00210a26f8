// The schemes the installer downloads from, and the client each one gets.
#include "transfer/protocol_client.h"

#include "transfer/ftp_client.h"
#include "transfer/http_client.h"

namespace ZephUtil {

std::unique_ptr<ProtocolClient> MakeProtocolClient(const UrlParts& parts, const std::string& url) {
    if (parts.scheme == "ftp")
        return std::make_unique<FtpClient>(parts);
    if (parts.scheme == "http" || parts.scheme == "https")
        return std::make_unique<HttpClient>(parts, url);
    return nullptr;
}

}  // namespace ZephUtil
