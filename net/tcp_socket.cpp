#include "net/tcp_socket.h"

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>

#include <cerrno>

#include "kernel/crash/crash.h"

namespace ZephUtil {
namespace {

uint64_t Pack(const asio::ip::tcp::endpoint& endpoint) {
    const asio::ip::address address = endpoint.address();
    uint32_t v4 = 0xFFFFFFFF;
    if (address.is_v4())
        v4 = address.to_v4().to_uint();
    else if (address.to_v6().is_v4_mapped())
        v4 = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_uint();
    return uint64_t{v4} << 16 | endpoint.port();
}

SocketEndpoint Unpack(uint64_t packed) {
    return SocketEndpoint{static_cast<uint32_t>(packed >> 16), static_cast<uint16_t>(packed)};
}

int ErrorOf(const asio::error_code& code) {
    if (!code)
        return 0;
    return code.category() == asio::system_category() ? code.value() : EIO;
}

}  // namespace

TCPSocket::~TCPSocket() {
    Close();
}

bool TCPSocket::Create(CPSocketManager* manager, const asio::ip::tcp& protocol) {
    ZephAssert(!m_socket, "INVALID_SOCKET == m_socket");
    auto socket = std::make_unique<asio::ip::tcp::socket>(manager->Context());
    asio::error_code code;
    socket->open(protocol, code);
    if (code)
        return false;
    m_socket = std::move(socket);
    m_manager = manager;
    return true;
}

void TCPSocket::Post(IOOperation& operation, int type) {
    operation.m_handler = this;
    operation.m_operation = type;
    operation.MoveTo(IOOperation::STATE_POSTED);
    m_manager->PostCompletion(operation);
}

void TCPSocket::StartConnect(const SocketEndpoint& remote, IOOperation& operation) {
    operation.m_remote = remote;
    Post(operation, IOOperation::IO_TCP_StartConnect);
}

void TCPSocket::StartRead(IOOperation& operation) {
    operation.m_lastBytes = 0;
    Post(operation, IOOperation::IO_TCP_StartRead);
}

void TCPSocket::StartWrite(IOOperation& operation) {
    operation.m_lastBytes = 0;
    Post(operation, IOOperation::IO_TCP_StartWrite);
}

void TCPSocket::StartDisconnect(IOOperation& operation) {
    Post(operation, IOOperation::IO_TCP_StartDisconnect);
}

void TCPSocket::StartAccept(TCPSocket& listening, IOOperation& operation) {
    operation.m_listening = &listening;
    Post(operation, IOOperation::IO_TCP_StartAccept);
}

void TCPSocket::AwaitReadable(std::function<void()> ready) {
    m_manager->RunOnPort([&] {
        if (!m_socket->is_open()) {
            asio::post(m_manager->Context(), std::move(ready));
            return;
        }
        m_socket->async_wait(asio::socket_base::wait_read,
                             [ready = std::move(ready)](const asio::error_code&) { ready(); });
    });
}

int TCPSocket::Bind(const SocketEndpoint& address, int option) {
    return Bind({asio::ip::address_v4(address.address), address.port}, option);
}

int TCPSocket::Bind(const asio::ip::tcp::endpoint& address, int option) {
    if (!m_socket)
        return ZEPHRESULT_INVALID_STATE;
    int error = 0;
    m_manager->RunOnPort([&] {
        asio::error_code code;
        m_reuseAddress = option == 2;
        if (m_reuseAddress)
            m_socket->set_option(asio::socket_base::reuse_address(true), code);
        if (!code && address.address().is_v6())
            m_socket->set_option(asio::ip::v6_only(false), code);
        if (!code)
            m_socket->bind(address, code);
        if (!code)
            NoteAddresses();
        error = ErrorOf(code);
    });
    m_lastSystemError = error;
    return MapSocketError(error);
}

int TCPSocket::Listen(int backlog) {
    if (!m_socket)
        return ZEPHRESULT_INVALID_STATE;
    int error = 0;
    m_manager->RunOnPort([&] {
        // Listening is the acceptor's business in Asio: the socket's address goes over to one.
        // (Handing the handle itself over needs a call Windows 7 and Wine lack.)
        asio::error_code code;
        if (!m_socket->is_open()) {
            error = asio::error::bad_descriptor;
            return;
        }
        auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(m_manager->Context());
        const asio::ip::tcp::endpoint local = m_socket->local_endpoint(code);
        if (!code) {
            asio::error_code ignored;
            m_socket->close(ignored);
            acceptor->open(local.protocol(), code);
        }
        if (!code && m_reuseAddress)
            acceptor->set_option(asio::socket_base::reuse_address(true), code);
        if (!code && local.address().is_v6())
            acceptor->set_option(asio::ip::v6_only(false), code);
        if (!code)
            acceptor->bind(local, code);
        if (!code)
            acceptor->listen(backlog, code);
        m_acceptor = std::move(acceptor);
        error = ErrorOf(code);
    });
    m_lastSystemError = error;
    return MapSocketError(error);
}

int TCPSocket::Shutdown(int how) {
    if (!m_socket)
        return ZEPHRESULT_INVALID_STATE;
    const auto direction = how == 0   ? asio::socket_base::shutdown_receive
                           : how == 1 ? asio::socket_base::shutdown_send
                                      : asio::socket_base::shutdown_both;
    int error = 0;
    m_manager->RunOnPort([&] {
        asio::error_code code;
        m_socket->shutdown(direction, code);
        error = ErrorOf(code);
    });
    return MapSocketError(error);
}

void TCPSocket::Close() {
    if (!m_socket)
        return;
    m_manager->RunOnPort([&] {
        asio::error_code ignored;
        if (m_acceptor)
            m_acceptor->close(ignored);
        if (m_socket->is_open()) {
            if (!m_shutDown)
                m_socket->set_option(asio::socket_base::linger(true, 0), ignored);
            m_socket->close(ignored);
        }
    });
}

void TCPSocket::NoteAddresses() {
    asio::error_code code;
    const auto local = m_socket->local_endpoint(code);
    if (!code)
        m_localAddress = Pack(local);
    const auto remote = m_socket->remote_endpoint(code);
    if (!code)
        m_remoteAddress = Pack(remote);
}

SocketEndpoint TCPSocket::LocalAddress() const {
    return Unpack(m_localAddress);
}

SocketEndpoint TCPSocket::RemoteAddress() const {
    return Unpack(m_remoteAddress);
}

void TCPSocket::EnterUserlandOperation(int userlandOperationClass) {
    ZEPH_ASSERT(userlandOperationClass < USERLAND_OPERATION_CLASS_MAX);
    ZEPH_ASSERT(IsInUserlandThread());
    const long myThreadID = CurrentThreadId();
    const long wasThreadID = m_currentUserlandThread[userlandOperationClass].exchange(myThreadID);
    ZEPH_ASSERT(wasThreadID == -1 || wasThreadID == myThreadID);
    ++m_userlandCount[userlandOperationClass];
}

void TCPSocket::LeaveUserlandOperation(int userlandOperationClass) {
    ZephAssert(m_currentUserlandThread[userlandOperationClass] == CurrentThreadId(),
               "m_currentUserlandThread[userlandOperationClass] == ::GetCurrentThreadId()");
    const int count = --m_userlandCount[userlandOperationClass];
    ZEPH_ASSERT(count >= 0);
    if (count == 0)
        m_currentUserlandThread[userlandOperationClass] = -1;
}

bool TCPSocket::IsUserlandSocketOperationInProgress() const {
    for (const auto& count : m_userlandCount)
        if (count > 0)
            return true;
    return false;
}

}  // namespace ZephUtil
