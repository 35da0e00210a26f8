// A data buffer over one TCP connection: Read and Write block the calling thread until the
// whole count has gone through (or the connection failed). Results are the socket layer's codes
// (socket_result.h). One thread may read while another writes; each of the two directions is
// used by one thread at a time. No wait lasts for ever: a request that moves no byte for the
// stall limit closes the connection and fails.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "kernel/buffers/data_buffer.h"
#include "kernel/threads/event.h"
#include "net/socket_result.h"
#include "net/tcp_socket.h"

namespace ZephUtil {

// As long as the transfers' own stall limit: a peer that says nothing for a minute is gone.
constexpr int kDefaultStallLimit = 60000;

class ZephDataBufferTCP : public ZephDataBuffer {
public:
    // An unconnected buffer with a fresh socket (none when the system refused one).
    ZephDataBufferTCP();
    // Takes over a connected socket, such as an accepted one.
    explicit ZephDataBufferTCP(std::unique_ptr<TCPSocket> socket);
    ~ZephDataBufferTCP() override;
    ZephDataBufferTCP(const ZephDataBufferTCP&) = delete;
    ZephDataBufferTCP& operator=(const ZephDataBufferTCP&) = delete;

    // ZEPHRESULT_INVALID_STATE without a socket or when already connected; otherwise the
    // connect's result. A failed connect leaves the buffer unconnected.
    [[nodiscard]] int Connect(const SocketEndpoint& remote);
    [[nodiscard]] bool IsConnected() const;
    // Clears the connected flag; with `abort` closes at once (a blocked read fails with
    // ZEPHRESULT_CLOSED), else shuts both directions down gracefully. Safe to call from another
    // thread while a read or write blocks.
    void Disconnect(bool abort);
    // how: 0 receive, 1 send, 2 both (anything else counts as 2).
    [[nodiscard]] int Shutdown(int how);
    // With the flag set, Read returns ZEPHRESULT_PARTIAL once some of the bytes arrived;
    // GetPosition then tells how many.
    void SetPartialRead(bool partial) { m_partialRead = partial; }
    // A connect, read, write or disconnect that moves no byte for `milliseconds` closes the
    // connection and fails with ZEPHRESULT_CONNECTION_LOST (kWaitNoLimit: wait for ever).
    // Set before the connection is used.
    void SetStallLimit(int milliseconds) { m_stallLimit = milliseconds; }
    // Calls `ready` on the completion-port thread once the peer has sent something or the
    // connection is closed (at once without a socket). For a server's idle connections.
    void AwaitReadable(std::function<void()> ready);
    [[nodiscard]] SocketEndpoint LocalAddress() const;
    [[nodiscard]] SocketEndpoint RemoteAddress() const;
    [[nodiscard]] CPSocketManager* Manager() const { return m_manager.Get(); }

    [[nodiscard]] uint64_t GetSize() override { return 0; }
    [[nodiscard]] int SetSize(uint64_t) override { return ZEPHRESULT_NOT_SUPPORTED; }
    // The number of bytes read so far.
    [[nodiscard]] uint64_t GetPosition() override { return m_bytesRead; }
    [[nodiscard]] int Seek(uint64_t) override { return ZEPHRESULT_NOT_SUPPORTED; }
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] int Read(void* destination, uint32_t count) override;

private:
    // Waits for the request under the stall limit; its result.
    [[nodiscard]] int Await(IOOperation& operation);

    std::mutex m_lock;  // held only while a request is being started, never while waiting
    // Outlives the socket.
    SocketManagerHold m_manager;
    std::unique_ptr<TCPSocket> m_socket;
    std::atomic<uint64_t> m_bytesRead{0};
    bool m_partialRead = false;
    int m_stallLimit = kDefaultStallLimit;
    std::atomic<bool> m_connected{false};
};

}  // namespace ZephUtil
