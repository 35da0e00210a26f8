#include "net/data_buffer_tcp.h"

#include <algorithm>
#include <chrono>

#include <asio/post.hpp>

#include "kernel/log/system_log.h"

namespace ZephUtil {

ZephDataBufferTCP::ZephDataBufferTCP() : m_socket(std::make_unique<TCPSocket>()) {
    if (!m_socket->Create(m_manager.Get()))
        m_socket.reset();
}

ZephDataBufferTCP::ZephDataBufferTCP(std::unique_ptr<TCPSocket> socket)
    : m_socket(std::move(socket)) {
    m_connected = m_socket != nullptr;
}

ZephDataBufferTCP::~ZephDataBufferTCP() {
    m_socket.reset();  // closes it, before the manager may go
}

int ZephDataBufferTCP::Connect(const SocketEndpoint& remote) {
    if (!m_socket || m_connected)
        return ZEPHRESULT_INVALID_STATE;
    UserlandOperation scope(*m_socket, USERLAND_CLASS_READ);
    // An unbound socket binds itself when it connects.
    (void)m_socket->Bind(SocketEndpoint{0, 0}, 0);
    IOOperation operation;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_socket->StartConnect(remote, operation);
    }
    const int result = Await(operation);
    m_connected = result == ZEPHRESULT_OK;
    return result;
}

bool ZephDataBufferTCP::IsConnected() const {
    return m_socket && m_connected;
}

void ZephDataBufferTCP::Disconnect(bool abort) {
    m_connected = false;
    if (!m_socket)
        return;
    if (abort) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_socket->Close();
        return;
    }
    IOOperation operation;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_socket->StartDisconnect(operation);
    }
    (void)Await(operation);  // closing either way
}

int ZephDataBufferTCP::Shutdown(int how) {
    if (!m_socket)
        return ZEPHRESULT_INVALID_STATE;
    return m_socket->Shutdown(how < 0 || how > 2 ? 2 : how);
}

void ZephDataBufferTCP::AwaitReadable(std::function<void()> ready) {
    if (m_socket)
        m_socket->AwaitReadable(std::move(ready));
    else
        asio::post(m_manager.Get()->Context(), std::move(ready));
}

SocketEndpoint ZephDataBufferTCP::LocalAddress() const {
    return m_socket ? m_socket->LocalAddress() : SocketEndpoint{0, 0};
}

SocketEndpoint ZephDataBufferTCP::RemoteAddress() const {
    return m_socket ? m_socket->RemoteAddress() : SocketEndpoint{0, 0};
}

int ZephDataBufferTCP::Write(const void* bytes, uint32_t count) {
    if (!m_socket)
        return ZEPHRESULT_INVALID_STATE;
    if (count == 0)
        return ZEPHRESULT_OK;
    UserlandOperation scope(*m_socket, USERLAND_CLASS_WRITE);
    IOOperation operation;
    operation.LendBuffer(const_cast<void*>(bytes), count);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_socket->StartWrite(operation);
    }
    return Await(operation);
}

int ZephDataBufferTCP::Read(void* destination, uint32_t count) {
    if (!m_socket)
        return ZEPHRESULT_INVALID_STATE;
    if (count == 0)
        return ZEPHRESULT_OK;
    UserlandOperation scope(*m_socket, USERLAND_CLASS_READ);
    IOOperation operation;
    operation.LendBuffer(destination, count);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_socket->SetPartialRead(m_partialRead);
        m_socket->StartRead(operation);
    }
    const int result = Await(operation);
    if (result == ZEPHRESULT_OK || result == ZEPHRESULT_PARTIAL)
        m_bytesRead += operation.m_transferred;
    return result;
}

int ZephDataBufferTCP::Await(IOOperation& operation) {
    if (m_stallLimit == OS::kWaitNoLimit) {
        operation.Wait();
        return operation.m_error;
    }
    using Clock = std::chrono::steady_clock;
    const auto limit = std::chrono::milliseconds(m_stallLimit);
    uint32_t moved = operation.m_transferred;
    Clock::time_point lastMove = Clock::now();
    while (!operation.WaitFor(std::min(m_stallLimit, 1000))) {
        if (operation.m_transferred != moved) {
            moved = operation.m_transferred;
            lastMove = Clock::now();
        } else if (Clock::now() - lastMove >= limit) {
            // Closing ends the request at once; what the stream held is lost with it.
            Print("ZephDataBufferTCP> nothing moved for %d ms: connection closed", m_stallLimit);
            Disconnect(true);
            operation.Wait();
            if (operation.m_error != ZEPHRESULT_OK)
                operation.SetError(asio::error::timed_out);
            break;
        }
    }
    return operation.m_error;
}

}  // namespace ZephUtil
