// `ZephFTP` on libcurl: passive or active connections, REST resume, the reconnect rule.
#include "transfer/ftp_client.h"

#include <cstring>

#include "kernel/system_log.h"
#include "transfer/body_sink.h"

namespace ZephUtil {
namespace {

using ZephInetInternal::CurlHandle;

bool IsConnectionDropped(CURLcode code) {
    return code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR;
}

bool IsResumeRefused(CURLcode code) {
    return code == CURLE_FTP_COULDNT_USE_REST || code == CURLE_BAD_DOWNLOAD_RESUME;
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

// Options an earlier operation on the same handle may have changed.
bool PrepareOperation(CURL* handle, const std::string& url, bool noBody, uint64_t resumeAt) {
    return curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_NOBODY, noBody ? 1L : 0L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(resumeAt)) ==
               CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Discard) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, nullptr) == CURLE_OK &&
           curl_easy_setopt(handle, CURLOPT_HEADERDATA, nullptr) == CURLE_OK;
}

// Where a resumed download announces itself: the server's 350 reply to REST.
struct ResumeNotice {
    const std::string* path;
    uint64_t at;
};

size_t OnServerReply(char* line, size_t size, size_t count, void* opaque) {
    const auto* notice = static_cast<const ResumeNotice*>(opaque);
    if (size * count >= 3 && std::memcmp(line, "350", 3) == 0)
        Print("ZephFTP::GetFileAtPath> resuming download of \"%s\" at byte %llu",
              notice->path->c_str(), static_cast<unsigned long long>(notice->at));
    return size * count;
}

}  // namespace

int ZephFTP::Open(const std::string& host, int port, const std::string& user,
                  const std::string& password, bool passive) {
    m_host = host;
    m_port = port;
    m_user = user;
    m_password = password;
    m_passive = passive;
    m_connection.reset();
    m_final = false;
    auto connection = std::make_unique<CurlHandle>(m_settings);
    CURL* handle = connection->get();
    bool ok = handle != nullptr;
    if (ok && !user.empty())
        ok = curl_easy_setopt(handle, CURLOPT_USERNAME, user.c_str()) == CURLE_OK &&
             curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str()) == CURLE_OK;
    // Active mode: the server connects back to the address of the control connection.
    if (ok && !passive)
        ok = curl_easy_setopt(handle, CURLOPT_FTPPORT, "-") == CURLE_OK;
    // Logging in to the root is what connecting means here; the handle keeps the connection.
    CURLcode code = CURLE_FAILED_INIT;
    if (ok && PrepareOperation(handle, FileUrl(""), true, 0))
        code = connection->Perform();
    if (code != CURLE_OK) {
        Print("ZephFTP::Open> Connection to \"%s\" failed with error %s", host.c_str(),
              handle ? connection->ErrorText(code).c_str() : "no libcurl handle");
        m_final = code == CURLE_LOGIN_DENIED || ZephInetInternal::IsSilentServer(code, false, 0);
        return kTransferFailed;
    }
    m_connection = std::move(connection);
    return kTransferOk;
}

void ZephFTP::Close() {
    m_connection.reset();
    m_host.clear();
    m_user.clear();
    m_password.clear();
    m_port = 21;
    m_passive = true;
}

std::string ZephFTP::FileUrl(const std::string& path) const {
    return ConnectionUrl({"ftp", m_host, m_port, "", "", path});
}

CURLcode ZephFTP::Perform(const Prepare& prepare) {
    CURLcode code = prepare(m_connection->get()) ? m_connection->Perform() : CURLE_FAILED_INIT;
    if (!IsConnectionDropped(code))
        return code;
    Print("ZephFTP> connection to \"%s\" lost (%s), reconnecting", m_host.c_str(),
          m_connection->ErrorText(code).c_str());
    // Open replaces the stored values with themselves; copies keep them alive meanwhile.
    const std::string host = m_host, user = m_user, password = m_password;
    if (Open(host, m_port, user, password, m_passive) != kTransferOk)
        return code;
    return prepare(m_connection->get()) ? m_connection->Perform() : CURLE_FAILED_INIT;
}

int ZephFTP::Failed(CURLcode code, bool stalled, uint64_t received) {
    m_final = ZephInetInternal::IsFinalFailure(code) ||
              ZephInetInternal::IsSilentServer(code, stalled, received);
    return kTransferFailed;
}

int ZephFTP::GetFileSize(const std::string& path, uint64_t* size) {
    if (!m_connection)
        return kTransferNotConnected;
    m_final = false;
    const std::string url = FileUrl(path);
    const CURLcode code =
        Perform([&](CURL* handle) { return PrepareOperation(handle, url, true, 0); });
    if (code != CURLE_OK) {
        if (m_connection)
            Print("FtpOpenFile returned %s.", m_connection->ErrorText(code).c_str());
        return Failed(code);
    }
    curl_off_t length = -1;
    curl_easy_getinfo(m_connection->get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length < 0) {
        Print("FtpGetFileSize returned no size for \"%s\"", path.c_str());
        return kTransferFailed;
    }
    *size = static_cast<uint64_t>(length);
    return kTransferOk;
}

// One download from the buffer's current size on, under the reconnect rule; a second attempt
// after a lost connection resumes at what the first one left in the buffer.
CURLcode ZephFTP::Retrieve(const std::string& path, ZephDataBuffer* buffer,
                           ZephInetInternal::BodySink* sink) {
    const std::string url = FileUrl(path);
    ResumeNotice notice{&path, 0};
    return Perform([&](CURL* handle) {
        notice.at = buffer->GetSize();
        return buffer->Seek(notice.at) == kBufOk &&
               PrepareOperation(handle, url, false, notice.at) && sink->Attach(handle) &&
               curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &OnServerReply) == CURLE_OK &&
               curl_easy_setopt(handle, CURLOPT_HEADERDATA, &notice) == CURLE_OK;
    });
}

int ZephFTP::GetFileAtPath(const std::string& path, ZephDataBuffer* buffer,
                           ZephPatch::Reporter& reporter) {
    if (!m_connection)
        return kTransferNotConnected;
    // libcurl would list a folder; a folder is not the file the caller asked for.
    m_final = path.empty() || path.back() == '/';
    if (m_final) {
        Print("FtpOpenFile returned no file name in \"%s\".", path.c_str());
        return kTransferFailed;
    }
    ZephInetInternal::BodySink sink(buffer, reporter, m_settings.stallTimeout);
    CURLcode code = Retrieve(path, buffer, &sink);
    if (IsResumeRefused(code) && m_connection) {
        Print("ZephFTP::GetFileAtPath> unable to resume download of \"%s\" (error %s)",
              path.c_str(), m_connection->ErrorText(code).c_str());
        const int emptied = buffer->SetSize(0);
        if (emptied != kBufOk)
            return emptied;
        code = Retrieve(path, buffer, &sink);
    }
    if (sink.Result() != kTransferOk)
        return sink.Result();
    if (code == CURLE_OK)
        return kTransferOk;
    if (!m_connection)
        return kTransferFailed;
    const std::string text = sink.Stalled()
                                 ? "nothing for " + std::to_string(sink.StallSeconds()) + " s"
                                 : m_connection->ErrorText(code);
    if (sink.Received() > 0 || code == CURLE_PARTIAL_FILE)
        Print("InternetReadFile returned %s with actualByteCount=%llu", text.c_str(),
              static_cast<unsigned long long>(sink.Received()));
    else
        Print("FtpOpenFile returned %s.", text.c_str());
    return Failed(code, sink.Stalled(), sink.Received());
}

TransferAttempt FtpClient::Fetch(ZephDataBuffer* buffer, bool, const TransferContext& context,
                                 bool) {
    ZephFTP ftp(context.settings);
    if (ftp.Open(m_parts.host, m_parts.port, m_parts.user, m_parts.password, true) != kTransferOk)
        return {kTransferFailed, ftp.LastFailureFinal()};
    const int result = ftp.GetFileAtPath(m_parts.path, buffer, context.reporter);
    return {result, result == kTransferCancelled || ftp.LastFailureFinal()};
}

TransferAttempt FtpClient::GetSize(uint64_t* size, const TransferSettings& settings) {
    ZephFTP ftp(settings);
    if (ftp.Open(m_parts.host, m_parts.port, m_parts.user, m_parts.password, true) != kTransferOk)
        return {kTransferFailed, ftp.LastFailureFinal()};
    const int result = ftp.GetFileSize(m_parts.path, size);
    return {result, ftp.LastFailureFinal()};
}

}  // namespace ZephUtil
