// One socket request travelling through the completion port. It lives on the stack of the user
// thread that waits for it, and passes through a verified
// state machine: UNUSED -> POSTED -> CAUGHT (-> POSTED -> CAUGHT ...) -> SIGNALLED -> COMPLETE,
// or POSTED -> FAILEDPOST -> SIGNALLED when the system refuses a request at once. A transition
// from any other state is a fatal assertion: it means a programming error, never bad input.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "kernel/threads/event.h"
#include "net/socket_result.h"

namespace ZephUtil {

class CPHandler;
class TCPSocket;

class IOOperation {
public:
    enum Type : int {
        IO_TCP_Invalid = 0,
        IO_TCP_StartConnect = 1,  // posted; the port's thread issues the connect
        IO_TCP_Connect = 2,
        IO_TCP_StartAccept = 3,
        IO_TCP_Accept = 4,
        IO_TCP_Read = 5,
        IO_TCP_Write = 6,
        IO_TCP_StartRead = 7,  // posted, or posted again after the system ran out of buffers
        IO_TCP_StartWrite = 8,
        IO_TCP_StartDisconnect = 9,
        IO_TCP_Disconnect = 10,
    };
    enum State : int {
        STATE_UNUSED = 0,
        STATE_POSTED = 1,
        STATE_FAILEDPOST = 2,
        STATE_CAUGHT = 3,
        STATE_SIGNALLED = 4,
        STATE_COMPLETE = 5,
        STATE_DESTROYED = 6,
    };
    IOOperation();
    virtual ~IOOperation();
    IOOperation(const IOOperation&) = delete;
    IOOperation& operator=(const IOOperation&) = delete;

    // The caller's bytes for a read or write of `count` bytes; the operation never frees them.
    void LendBuffer(void* bytes, uint32_t count);

    // Finishes the operation on the completion-port thread: SIGNALLED, and the waiter wakes.
    virtual void Signal();
    // Blocks until signalled, then COMPLETE.
    void Wait();
    // The same for at most `milliseconds`: false, and the state unchanged, when not signalled.
    [[nodiscard]] bool WaitFor(int milliseconds);

    [[nodiscard]] bool IsInState(State state) const { return m_state.load() == state; }
    // Verifies that `state` may follow the current one, then enters it.
    void MoveTo(State state);
    // Stores the system error and its result code.
    void SetError(int osError);
    [[nodiscard]] static const char* TypeName(int type);

    // The request, as the socket and the port's thread fill them in.
    size_t m_lastBytes = 0;  // of the latest completion
    int m_error = ZEPHRESULT_OK;
    int m_osError = 0;
    int m_operation = IO_TCP_Invalid;
    CPHandler* m_handler = nullptr;
    uint8_t* m_buffer = nullptr;
    uint32_t m_requested = 0;
    std::atomic<uint32_t> m_transferred{0};  // read by the waiter to see the request move
    SocketEndpoint m_remote;                 // of a connect
    TCPSocket* m_listening = nullptr;        // of an accept

private:
    OS::EventHandle m_event;  // manual reset
    std::atomic<int> m_state{STATE_UNUSED};
};

}  // namespace ZephUtil
