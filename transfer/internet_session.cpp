// The libcurl session: global initialisation once per process, and easy handles with the
// options that every HTTP and FTP transfer shares.
#include "transfer/internet_session.h"

#include <mutex>

#include "kernel/log/system_log.h"

namespace ZephInetInternal {
namespace {

// How long a transfer waits for its sockets before libcurl looks at it again. libcurl 7.88
// leaves an FTP data connection that is still being set up out of the sockets it waits for, so
// a long wait there becomes a pause of its own; short waits keep that unnoticeable.
constexpr int kPollMilliseconds = 20;

// Bytes per chunk: what the curl tool reads at a time. Smaller chunks cost throughput, and the
// cancel question asked before each one still comes within milliseconds.
constexpr long kChunkBytes = 100 * 1024;

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
    m_multi = curl_multi_init();
    m_curl = m_multi ? curl_easy_init() : nullptr;
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
        Set(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, stall) &&
        Set(m_curl, CURLOPT_BUFFERSIZE, kChunkBytes);
    if (ok && !settings.caBundle.empty())
        ok = Set(m_curl, CURLOPT_CAINFO, settings.caBundle.c_str());
    if (!ok) {
        ZephUtil::Print("ZephInetInternal::CurlHandle> libcurl refused an option");
        curl_easy_cleanup(m_curl);
        m_curl = nullptr;
    }
}

CurlHandle::~CurlHandle() {
    // The connections live in the multi handle: it goes first, closing them.
    if (m_multi)
        curl_multi_cleanup(m_multi);
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

CURLcode CurlHandle::Perform() {
    if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK)
        return CURLE_FAILED_INIT;
    int running = 1;
    CURLMcode state = CURLM_OK;
    while (running && state == CURLM_OK) {
        state = curl_multi_perform(m_multi, &running);
        if (running && state == CURLM_OK)
            state = curl_multi_poll(m_multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
    CURLcode result = CURLE_FAILED_INIT;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl)
            result = message->data.result;
    }
    curl_multi_remove_handle(m_multi, m_curl);
    return result;
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

bool IsSilentServer(CURLcode code, bool stalled, uint64_t received) {
    return received == 0 && (stalled || code == CURLE_OPERATION_TIMEDOUT);
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
