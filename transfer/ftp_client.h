// FTP through libcurl: `ZephFTP`, a connection that reads files into data buffers and resumes a
// partial one with REST, and the ftp client of the fetch loop on top of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kernel/buffers/data_buffer.h"
#include "transfer/internet_session.h"
#include "transfer/protocol_client.h"
#include "transfer/transfer_result.h"

namespace ZephInetInternal {
class BodySink;
}

namespace ZephUtil {

// Every operation survives one dropped connection: after a reset or aborted connection it
// reconnects with the stored values and tries once more. Operations other than Open and Close
// answer kTransferNotConnected (7) without a connection.
// REQUIRES: one thread at a time.
class ZephFTP {
public:
    explicit ZephFTP(TransferSettings settings = {}) : m_settings(std::move(settings)) {}
    ZephFTP(const ZephFTP&) = delete;
    ZephFTP& operator=(const ZephFTP&) = delete;

    // Stores the values, drops an open connection, connects to host:port and logs in (anonymous
    // without a user). 0, or 3 with a diagnostic line.
    [[nodiscard]] int Open(const std::string& host, int port, const std::string& user,
                           const std::string& password, bool passive);
    // 0 and the size in bytes (64-bit), or 3 when the server cannot tell it.
    [[nodiscard]] int GetFileSize(const std::string& path, uint64_t* size);
    // Downloads the file into `buffer`, resuming at the buffer's size: bytes already there are
    // kept and the rest is asked for with REST. A server that cannot resume there gets the
    // whole file into an emptied buffer. 0, 3, 13 (cancelled) or the buffer's write error.
    [[nodiscard]] int GetFileAtPath(const std::string& path, ZephDataBuffer* buffer,
                                    ZephPatch::Reporter& reporter);
    void Close();

    [[nodiscard]] bool IsConnected() const { return m_connection != nullptr; }
    // Whether the last failure needs no retry: the server said the file is not there, refused
    // the login, or said nothing at all.
    [[nodiscard]] bool LastFailureFinal() const { return m_final; }

private:
    // Sets the operation's options on the handle; false when libcurl refused one.
    using Prepare = std::function<bool(CURL* handle)>;
    // Runs one operation under the reconnect rule.
    [[nodiscard]] CURLcode Perform(const Prepare& prepare);
    [[nodiscard]] CURLcode Retrieve(const std::string& path, ZephDataBuffer* buffer,
                                    ZephInetInternal::BodySink* sink);
    [[nodiscard]] std::string FileUrl(const std::string& path) const;
    [[nodiscard]] int Failed(CURLcode code, bool stalled = false, uint64_t received = 0);

    TransferSettings m_settings;
    std::unique_ptr<ZephInetInternal::CurlHandle> m_connection;
    std::string m_host;
    int m_port = 21;
    std::string m_user;
    std::string m_password;
    bool m_passive = true;
    bool m_final = false;
};

// The fetch loop's ftp client: every attempt connects anew in passive mode.
class FtpClient : public ProtocolClient {
public:
    explicit FtpClient(const UrlParts& parts) : m_parts(parts) {}

    // Resumes where an earlier attempt stopped.
    TransferAttempt Fetch(ZephDataBuffer* buffer, bool noCache, const TransferContext& context,
                          bool retry) override;
    TransferAttempt GetSize(uint64_t* size, const TransferSettings& settings) override;
    [[nodiscard]] int SizeRetries(const TransferSettings& settings) const override {
        return settings.ftpSizeRetries;
    }

private:
    UrlParts m_parts;
};

}  // namespace ZephUtil
