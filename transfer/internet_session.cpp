// The libcurl session: global initialisation once per process, and easy handles with the
// options that every HTTP and FTP transfer shares.
#include "transfer/internet_session.h"

#include <mutex>

#include "kernel/system_log.h"

namespace ZephInetInternal {
namespace {

std::once_flag g_sessionOnce;
CURLcode g_sessionResult = CURLE_FAILED_INIT;

template <typename Value>
bool Set(CURL* curl, CURLoption option, Value value) {
    return curl_easy_setopt(curl, option, value) == CURLE_OK;
}

}  // namespace

bool CreateInternetSession() {
    std::call_once(g_sessionOnce, [] {
        g_sessionResult = curl_global_init(CURL_GLOBAL_ALL);
        if (g_sessionResult != CURLE_OK)
            ZephUtil::Print(
                "ZephInetInternal::CreateInternetSession> InternetOpen failed with error %s",
                curl_easy_strerror(g_sessionResult));
    });
    return g_sessionResult == CURLE_OK;
}

CurlHandle::CurlHandle(const ZephUtil::TransferSettings& settings) {
    if (!CreateInternetSession())
        return;
    m_curl = curl_easy_init();
    if (!m_curl)
        return;
    const long stall = static_cast<long>(settings.stallTimeout.count());
    bool ok =
        Set(m_curl, CURLOPT_ERRORBUFFER, m_error) && Set(m_curl, CURLOPT_USERAGENT, "Zeph") &&
        Set(m_curl, CURLOPT_NOSIGNAL, 1L) && Set(m_curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp") &&
        Set(m_curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") &&
        Set(m_curl, CURLOPT_FOLLOWLOCATION, 1L) && Set(m_curl, CURLOPT_MAXREDIRS, 10L) &&
        Set(m_curl, CURLOPT_SSL_VERIFYPEER, 1L) && Set(m_curl, CURLOPT_SSL_VERIFYHOST, 2L) &&
        Set(m_curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.connectTimeout.count())) &&
        Set(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L) && Set(m_curl, CURLOPT_LOW_SPEED_TIME, stall) &&
        Set(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, stall);
    if (ok && !settings.caBundle.empty())
        ok = Set(m_curl, CURLOPT_CAINFO, settings.caBundle.c_str());
    if (!ok) {
        ZephUtil::Print("ZephInetInternal::CurlHandle> libcurl refused an option");
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
}

CurlHandle::~CurlHandle() {
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

std::string CurlHandle::ErrorText(CURLcode code) const {
    return m_error[0] ? std::string(m_error) : std::string(curl_easy_strerror(code));
}

bool HeaderList::Append(const char* header) {
    curl_slist* longer = curl_slist_append(m_list, header);
    if (!longer)
        return false;
    m_list = longer;
    return true;
}

bool IsConnectFailure(CURLcode code) {
    return code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
           code == CURLE_COULDNT_CONNECT;
}

bool IsFinalFailure(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_LOGIN_DENIED:
        case CURLE_REMOTE_FILE_NOT_FOUND:
            return true;
        default:
            return false;
    }
}

}  // namespace ZephInetInternal
