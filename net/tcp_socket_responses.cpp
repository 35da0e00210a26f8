// What the completion-port thread does with each completion of a socket request.
#include <cerrno>
#include <thread>

#include "kernel/crash/crash.h"
#include "kernel/log/system_log.h"
#include "net/tcp_socket.h"

namespace ZephUtil {
namespace {

// The system error of an Asio completion. The end of the stream is a receive of nothing,
// which the read response turns into ZEPHRESULT_CLOSED.
int ErrorOf(const asio::error_code& code) {
    if (!code || code == asio::error::eof)
        return 0;
    return code.category() == asio::system_category() ? code.value() : EIO;
}

}  // namespace

void TCPSocket::HandleCompletion(IOOperation& operation, int error) {
    ZEPH_ASSERT(IsInIOCPThread());
    ZEPH_ASSERT(operation.m_operation == IOOperation::IO_TCP_StartDisconnect ||
                operation.m_operation == IOOperation::IO_TCP_Disconnect ||
                IsUserlandSocketOperationInProgress());
    ZEPH_ASSERT(IOOperation::IO_TCP_Invalid != operation.m_operation);
    ZEPH_ASSERT(NULL != GetManager());
    bool finished = true;
    switch (operation.m_operation) {
        case IOOperation::IO_TCP_StartAccept:
        case IOOperation::IO_TCP_Accept:
            finished = AcceptResponse(operation, error);
            break;
        case IOOperation::IO_TCP_Read:
        case IOOperation::IO_TCP_StartRead:
            finished = RecvResponse(operation, error);
            break;
        case IOOperation::IO_TCP_Write:
        case IOOperation::IO_TCP_StartWrite:
            finished = SendResponse(operation, error);
            break;
        case IOOperation::IO_TCP_StartDisconnect:
        case IOOperation::IO_TCP_Disconnect:
            finished = DisconnectResponse(operation, error);
            break;
        case IOOperation::IO_TCP_StartConnect:
        case IOOperation::IO_TCP_Connect:
            finished = ConnectResponse(operation, error);
            break;
        default:
            Print("TCPSocket::HandleCompletion> unexpected %s",
                  IOOperation::TypeName(operation.m_operation));
            operation.SetError(asio::error::invalid_argument);
            break;
    }
    if (finished)
        operation.Signal();
}

bool TCPSocket::ConnectResponse(IOOperation& operation, int error) {
    if (error != 0) {
        operation.SetError(error);
        return true;
    }
    if (operation.m_error != ZEPHRESULT_OK)
        return true;
    if (operation.m_operation == IOOperation::IO_TCP_StartConnect) {
        operation.m_operation = IOOperation::IO_TCP_Connect;
        operation.MoveTo(IOOperation::STATE_POSTED);
        if (m_socket->is_open()) {
            const asio::ip::tcp::endpoint remote(asio::ip::address_v4(operation.m_remote.address),
                                                 operation.m_remote.port);
            m_socket->async_connect(remote, [&operation](const asio::error_code& code) {
                DeliverCompletion(operation, ErrorOf(code), 0);
            });
            return false;
        }
        operation.MoveTo(IOOperation::STATE_FAILEDPOST);
        error = asio::error::bad_descriptor;
    } else {
        NoteAddresses();
    }
    operation.SetError(error);
    return true;
}

bool TCPSocket::RecvResponse(IOOperation& operation, int error) {
    return TransferResponse(operation, error, true);
}

bool TCPSocket::SendResponse(IOOperation& operation, int error) {
    return TransferResponse(operation, error, false);
}

bool TCPSocket::TransferResponse(IOOperation& operation, int error, bool read) {
    ZEPH_ASSERT(ZEPHRESULT_OK == operation.m_error || 0 == error);
    operation.m_transferred += static_cast<uint32_t>(operation.m_lastBytes);
    if (operation.m_transferred == operation.m_requested)
        return true;
    if (read && operation.m_transferred > 0 && m_partialRead) {
        operation.m_error = ZEPHRESULT_PARTIAL;
        return true;
    }
    if (operation.m_error != ZEPHRESULT_OK)
        return true;
    if (error == asio::error::no_buffer_space) {
        // Not an error: the system is short of buffers for now. Try again through the port.
        operation.m_operation =
            read ? IOOperation::IO_TCP_StartRead : IOOperation::IO_TCP_StartWrite;
        operation.m_lastBytes = 0;
        Print("%s", read ? "TCPSocket::RecvResponse> WSAENOBUFS!"
                         : "TCPSocket::SendResponse> WSAENOBUFS!");
        std::this_thread::yield();
        operation.MoveTo(IOOperation::STATE_POSTED);
        m_manager->PostCompletion(operation);
        return false;
    }
    if (error == 0) {
        // A receive that brought nothing: the peer has closed the connection. Asio would not
        // complete another receive after the end of the stream, so later reads end here.
        if (read && (m_peerClosed || (operation.m_lastBytes == 0 &&
                                      operation.m_operation == IOOperation::IO_TCP_Read))) {
            m_peerClosed = true;
            operation.m_error = ZEPHRESULT_CLOSED;
            return true;
        }
        operation.m_operation = read ? IOOperation::IO_TCP_Read : IOOperation::IO_TCP_Write;
        operation.m_lastBytes = 0;
        operation.MoveTo(IOOperation::STATE_POSTED);
        if (m_socket->is_open()) {
            IssueTransfer(operation, read);
            return false;
        }
        operation.MoveTo(IOOperation::STATE_FAILEDPOST);
        error = asio::error::bad_descriptor;
    }
    operation.SetError(error);
    return true;
}

void TCPSocket::IssueTransfer(IOOperation& operation, bool read) {
    auto done = [&operation](const asio::error_code& code, size_t bytes) {
        DeliverCompletion(operation, ErrorOf(code), bytes);
    };
    uint8_t* rest = operation.m_buffer + operation.m_transferred;
    const size_t length = operation.m_requested - operation.m_transferred;
    if (read)
        m_socket->async_read_some(asio::buffer(rest, length), done);
    else
        m_socket->async_write_some(asio::buffer(rest, length), done);
}

bool TCPSocket::DisconnectResponse(IOOperation& operation, int error) {
    if (error == 0 && operation.m_operation != IOOperation::IO_TCP_Disconnect) {
        operation.m_operation = IOOperation::IO_TCP_Disconnect;
        operation.MoveTo(IOOperation::STATE_POSTED);
        asio::error_code code;
        if (m_socket->is_open())
            m_socket->shutdown(asio::socket_base::shutdown_both, code);
        else
            code = asio::error::bad_descriptor;
        if (!code) {
            m_shutDown = true;
            m_manager->PostCompletion(operation);
            return false;
        }
        operation.MoveTo(IOOperation::STATE_FAILEDPOST);
        error = ErrorOf(code);
    }
    operation.SetError(error);
    return true;
}

bool TCPSocket::AcceptResponse(IOOperation& operation, int error) {
    TCPSocket* listening = operation.m_listening;
    if (error == 0 && operation.m_error == ZEPHRESULT_OK) {
        if (operation.m_operation == IOOperation::IO_TCP_StartAccept) {
            operation.m_operation = IOOperation::IO_TCP_Accept;
            operation.MoveTo(IOOperation::STATE_POSTED);
            if (listening->m_acceptor && listening->m_acceptor->is_open()) {
                // Asio accepts into a closed socket: the connection takes this one's place.
                asio::error_code ignored;
                m_socket->close(ignored);
                listening->m_acceptor->async_accept(
                    *m_socket, [&operation](const asio::error_code& code) {
                        DeliverCompletion(operation, ErrorOf(code), 0);
                    });
                return false;
            }
            operation.MoveTo(IOOperation::STATE_FAILEDPOST);
            error = asio::error::invalid_argument;
        } else {
            NoteAddresses();
        }
    }
    operation.m_listening = nullptr;
    operation.SetError(error);
    return true;
}

}  // namespace ZephUtil
