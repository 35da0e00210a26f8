// libcurl underneath every transfer: the process-wide session and easy handles that carry the
// options all transfers share.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>

#include "transfer/transfer_settings.h"

namespace ZephInetInternal {

// libcurl's global state, created on first use and kept to the end of the process. False, with
// a diagnostic line, when it could not be created. Safe for concurrent use.
[[nodiscard]] bool CreateInternetSession();

// One easy handle with the shared options: agent "Zeph", verified TLS, the connect and stall
// limits of `settings`, redirects among http and https. Null (false) when it could not be made.
// It keeps its connections between transfers (an FTP login lasts). REQUIRES: one thread at a
// time.
class CurlHandle {
public:
    explicit CurlHandle(const ZephUtil::TransferSettings& settings);
    ~CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;

    explicit operator bool() const { return m_curl != nullptr; }
    [[nodiscard]] CURL* get() const { return m_curl; }
    // Runs the transfer set up on the handle to its end.
    [[nodiscard]] CURLcode Perform();
    // libcurl's most specific text for the last failure, which ended with `code`.
    [[nodiscard]] std::string ErrorText(CURLcode code) const;

private:
    CURLM* m_multi = nullptr;
    CURL* m_curl = nullptr;
    char m_error[CURL_ERROR_SIZE] = {};
};

// RAII for a header list handed to a handle; the list must outlive the transfer.
class HeaderList {
public:
    HeaderList() = default;
    ~HeaderList() { curl_slist_free_all(m_list); }
    HeaderList(const HeaderList&) = delete;
    HeaderList& operator=(const HeaderList&) = delete;

    [[nodiscard]] bool Append(const char* header);
    [[nodiscard]] curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

// Failures where no connection to the server came about at all.
[[nodiscard]] bool IsConnectFailure(CURLcode code);
// Failures that another attempt cannot mend: the URL, the protocol or the server's certificate.
[[nodiscard]] bool IsFinalFailure(CURLcode code);
// A server that let a time limit pass (connecting, answering, or sending: `stalled`) without
// sending a byte of the body: it says nothing to the next attempt either, so the user is
// better served by the next server than by a retry. Failures that come back quickly keep
// their retries, and so does a transfer that stalled after bytes arrived (it may resume).
[[nodiscard]] bool IsSilentServer(CURLcode code, bool stalled, uint64_t received);

}  // namespace ZephInetInternal
