// HTTP and HTTPS through libcurl: GET into a data buffer, and the size from Content-Length.
#include "transfer/http_client.h"

#include "kernel/system_log.h"
#include "transfer/body_sink.h"
#include "transfer/internet_session.h"

namespace ZephUtil {
namespace {

using ZephInetInternal::CurlHandle;
using ZephInetInternal::HeaderList;

// Asking again for what is not there, or not allowed, gives the same answer.
bool IsFinalStatus(long status) {
    return status >= 400 && status < 500 && status != 408 && status != 429;
}

bool PrepareGet(const CurlHandle& curl, const UrlParts& parts, bool noCache, HeaderList* headers) {
    const std::string target = ConnectionUrl(parts);
    CURL* handle = curl.get();
    bool ok = curl_easy_setopt(handle, CURLOPT_URL, target.c_str()) == CURLE_OK &&
              curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L) == CURLE_OK &&
              curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L) == CURLE_OK;
    if (ok && !parts.user.empty())
        ok = curl_easy_setopt(handle, CURLOPT_USERNAME, parts.user.c_str()) == CURLE_OK &&
             curl_easy_setopt(handle, CURLOPT_PASSWORD, parts.password.c_str()) == CURLE_OK;
    if (ok && noCache)
        ok = headers->Append("Cache-Control: no-cache") && headers->Append("Pragma: no-cache") &&
             curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers->get()) == CURLE_OK;
    if (!ok)
        Print("HttpOpenRequest returned an option libcurl refused for url %s", target.c_str());
    return ok;
}

// Names the stage that failed as the diagnostics always have: connect, request, or read.
// `stalledFor` is set when the transfer was stopped for sending nothing that long.
TransferAttempt Failure(const CurlHandle& curl, CURLcode code, const std::string& url,
                        uint64_t received, long stalledFor = 0) {
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_HTTP_RETURNED_ERROR) {
        Print("HttpSendRequest returned status %ld for url %s", status, url.c_str());
        return {kTransferFailed, IsFinalStatus(status)};
    }
    const std::string text =
        stalledFor ? "nothing for " + std::to_string(stalledFor) + " s" : curl.ErrorText(code);
    if (ZephInetInternal::IsConnectFailure(code))
        Print("InternetConnect returned %s for url %s", text.c_str(), url.c_str());
    else if (status == 0)
        Print("HttpSendRequest returned %s", text.c_str());
    else
        Print("InternetReadFile returned %s with actualByteCount=%llu", text.c_str(),
              static_cast<unsigned long long>(received));
    return {kTransferFailed, ZephInetInternal::IsFinalFailure(code) ||
                                 ZephInetInternal::IsSilentServer(code, stalledFor > 0, received)};
}

// Ends a size query at the first byte of the body, which it does not want.
size_t StopAtBody(char*, size_t, size_t, void* started) {
    *static_cast<bool*>(started) = true;
    return CURL_WRITEFUNC_ERROR;
}

}  // namespace

TransferAttempt HttpClient::Fetch(ZephDataBuffer* buffer, bool noCache,
                                  const TransferContext& context, bool retry) {
    if (retry) {
        // Fixed buffers cannot shrink; they are simply written again from the start.
        const int emptied = buffer->SetSize(0);
        if (emptied != kBufOk && emptied != kBufNotAllowed)
            return {emptied, false};
        const int rewound = buffer->Seek(0);
        if (rewound != kBufOk)
            return {rewound, false};
    }
    CurlHandle curl(context.settings);
    HeaderList headers;
    ZephInetInternal::BodySink sink(buffer, context.reporter, context.settings.stallTimeout);
    if (!curl || !PrepareGet(curl, m_parts, noCache, &headers) || !sink.Attach(curl.get()))
        return {kTransferFailed, false};
    const CURLcode code = curl.Perform();
    if (sink.Result() != kTransferOk)
        return {sink.Result(), sink.Result() == kTransferCancelled};
    if (code == CURLE_OK)
        return {kTransferOk, false};
    return Failure(curl, code, m_url, sink.Received(), sink.Stalled() ? sink.StallSeconds() : 0);
}

TransferAttempt HttpClient::GetSize(uint64_t* size, const TransferSettings& settings) {
    CurlHandle curl(settings);
    HeaderList headers;
    bool bodyStarted = false;
    if (!curl || !PrepareGet(curl, m_parts, false, &headers) ||
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &StopAtBody) != CURLE_OK ||
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &bodyStarted) != CURLE_OK)
        return {kTransferFailed, false};
    const CURLcode code = curl.Perform();
    if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && bodyStarted))
        return Failure(curl, code, m_url, 0);
    curl_off_t length = -1;
    curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0) {
        Print("HttpQueryInfo returned no Content-Length for url %s", m_url.c_str());
        return {kTransferFailed, false};
    }
    *size = static_cast<uint64_t>(length);
    return {kTransferOk, false};
}

}  // namespace ZephUtil
