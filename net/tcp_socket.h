// A TCP socket whose requests complete on the completion-port thread. User threads start at
// most one request per userland class at a time (class 0: connect, bind, listen, accept and
// read; class 1: write), so one thread may read while another writes, and block until the
// request is signalled. Calls on the system socket happen only on the completion-port thread.
// Implemented in tcp_socket.cpp and tcp_socket_responses.cpp.
#pragma once

#include <asio/ip/tcp.hpp>

#include <atomic>
#include <functional>
#include <memory>

#include "net/cp_socket_manager.h"
#include "net/io_operation.h"
#include "net/socket_result.h"

namespace ZephUtil {

constexpr int USERLAND_OPERATION_CLASS_MAX = 2;
constexpr int USERLAND_CLASS_READ = 0;  // connect, bind, listen, accept, read
constexpr int USERLAND_CLASS_WRITE = 1;

class TCPSocket : public CPHandler {
public:
    TCPSocket() = default;
    ~TCPSocket() override;
    TCPSocket(const TCPSocket&) = delete;
    TCPSocket& operator=(const TCPSocket&) = delete;

    // Opens a stream socket (IPv4 unless told) on the manager's port. False when the system
    // refuses.
    [[nodiscard]] bool Create(CPSocketManager* manager,
                              const asio::ip::tcp& protocol = asio::ip::tcp::v4());
    void HandleCompletion(IOOperation& operation, int error) override;

    // Start a request: the operation is posted to the port and signalled when done, its result
    // in m_error. REQUIRES: the caller has entered the request's userland class.
    void StartConnect(const SocketEndpoint& remote, IOOperation& operation);
    void StartRead(IOOperation& operation);
    void StartWrite(IOOperation& operation);
    void StartDisconnect(IOOperation& operation);  // graceful: both directions shut down
    // The accepted connection becomes this socket; `listening` must have been Listen()ed.
    void StartAccept(TCPSocket& listening, IOOperation& operation);

    // Calls `ready` on the completion-port thread once the peer has sent something or the
    // socket is closed, without a request of a userland class: a server waits so for many
    // idle connections without a thread each.
    void AwaitReadable(std::function<void()> ready);

    // option 2 allows reusing a local address in TIME_WAIT; 0 and 1 leave the address
    // exclusive, which is this system's default. Reads back the local address.
    [[nodiscard]] int Bind(const SocketEndpoint& address, int option);
    // The same for any address: an IPv6 one (on a socket created for IPv6) also takes IPv4
    // connections.
    [[nodiscard]] int Bind(const asio::ip::tcp::endpoint& address, int option);
    [[nodiscard]] int Listen(int backlog);
    // The system's error number of the last Bind or Listen (0 after a success), for a reason
    // a person can read.
    [[nodiscard]] int LastSystemError() const { return m_lastSystemError; }
    // how: 0 receive, 1 send, 2 both.
    [[nodiscard]] int Shutdown(int how);
    // Abortive close (no lingering): requests in flight end with ZEPHRESULT_CLOSED. After a
    // graceful disconnect the connection is already ended and closes without a reset.
    void Close();

    void EnterUserlandOperation(int userlandOperationClass);
    void LeaveUserlandOperation(int userlandOperationClass);
    [[nodiscard]] bool IsUserlandSocketOperationInProgress() const;

    // With the flag set, a read completes (ZEPHRESULT_PARTIAL) as soon as any bytes arrived.
    void SetPartialRead(bool partial) { m_partialRead = partial; }
    // An IPv6 peer that is no mapped IPv4 one has the address all ones.
    [[nodiscard]] SocketEndpoint LocalAddress() const;
    [[nodiscard]] SocketEndpoint RemoteAddress() const;

protected:
    // Each takes the operation and the system error of its completion; true when finished.
    [[nodiscard]] virtual bool AcceptResponse(IOOperation& operation, int error);
    [[nodiscard]] virtual bool ConnectResponse(IOOperation& operation, int error);
    [[nodiscard]] virtual bool RecvResponse(IOOperation& operation, int error);
    [[nodiscard]] virtual bool SendResponse(IOOperation& operation, int error);
    [[nodiscard]] virtual bool DisconnectResponse(IOOperation& operation, int error);

private:
    void Post(IOOperation& operation, int type);
    // Shared by RecvResponse and SendResponse.
    [[nodiscard]] bool TransferResponse(IOOperation& operation, int error, bool read);
    void IssueTransfer(IOOperation& operation, bool read);
    void NoteAddresses();

    std::unique_ptr<asio::ip::tcp::socket> m_socket;
    std::unique_ptr<asio::ip::tcp::acceptor> m_acceptor;  // once listening
    bool m_reuseAddress = false;                          // Bind's option 2, for the acceptor
    std::atomic<bool> m_partialRead{false};
    bool m_peerClosed = false;  // the end of the stream was read; completion-port thread only
    // A graceful disconnect has shut both directions, so closing must not reset the connection
    // (the peer would lose what it has not read yet); completion-port thread only.
    bool m_shutDown = false;
    // Written on the port's thread while user threads wait; read by user threads afterwards.
    std::atomic<uint64_t> m_localAddress{0};
    std::atomic<uint64_t> m_remoteAddress{0};
    std::atomic<int> m_lastSystemError{0};
    std::atomic<long> m_currentUserlandThread[USERLAND_OPERATION_CLASS_MAX] = {-1, -1};
    std::atomic<int> m_userlandCount[USERLAND_OPERATION_CLASS_MAX] = {0, 0};
};

// Enters a userland class for the life of the scope.
class UserlandOperation {
public:
    UserlandOperation(TCPSocket& socket, int userlandOperationClass)
        : m_socket(socket), m_class(userlandOperationClass) {
        m_socket.EnterUserlandOperation(m_class);
    }
    ~UserlandOperation() { m_socket.LeaveUserlandOperation(m_class); }
    UserlandOperation(const UserlandOperation&) = delete;
    UserlandOperation& operator=(const UserlandOperation&) = delete;

private:
    TCPSocket& m_socket;
    const int m_class;
};

}  // namespace ZephUtil
