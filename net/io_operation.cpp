#include "net/io_operation.h"

#include "kernel/crash/crash.h"

namespace ZephUtil {

IOOperation::IOOperation() : m_event(OS::CreateEventHandle(true, false)) {}

IOOperation::~IOOperation() {
    MoveTo(STATE_DESTROYED);
}

void IOOperation::LendBuffer(void* bytes, uint32_t count) {
    m_buffer = static_cast<uint8_t*>(bytes);
    m_requested = count;
    m_transferred = 0;
}

void IOOperation::Signal() {
    MoveTo(STATE_SIGNALLED);
    // The waiter may destroy this operation as soon as the event is set: keep the event alive
    // on this thread until Set has returned.
    OS::EventHandle event = m_event;
    event->Set();
}

void IOOperation::Wait() {
    OS::WaitHandle(m_event, OS::kWaitNoLimit);
    MoveTo(STATE_COMPLETE);
}

bool IOOperation::WaitFor(int milliseconds) {
    if (OS::WaitHandle(m_event, milliseconds) != OS::kWaitObject0)
        return false;
    MoveTo(STATE_COMPLETE);
    return true;
}

void IOOperation::MoveTo(State state) {
    switch (state) {
        case STATE_POSTED:
            ZEPH_ASSERT(IsInState(STATE_UNUSED) || IsInState(STATE_CAUGHT));
            break;
        case STATE_FAILEDPOST:
        case STATE_CAUGHT:
            ZEPH_ASSERT(IsInState(STATE_POSTED));
            break;
        case STATE_SIGNALLED:
            ZEPH_ASSERT(IsInState(STATE_CAUGHT) || IsInState(STATE_FAILEDPOST));
            break;
        case STATE_COMPLETE:
            ZEPH_ASSERT(IsInState(STATE_UNUSED) || IsInState(STATE_SIGNALLED));
            break;
        case STATE_DESTROYED:
            ZEPH_ASSERT(IsInState(STATE_COMPLETE) || IsInState(STATE_UNUSED));
            break;
        case STATE_UNUSED:
            ZEPH_ASSERT(!"an operation never returns to STATE_UNUSED");
            break;
    }
    m_state = state;
}

void IOOperation::SetError(int osError) {
    m_osError = osError;
    m_error = MapSocketError(osError);
}

const char* IOOperation::TypeName(int type) {
    static const char* const kNames[] = {
        "IO_TCP_Invalid",         "IO_TCP_StartConnect", "IO_TCP_Connect",
        "IO_TCP_StartAccept",     "IO_TCP_Accept",       "IO_TCP_Read",
        "IO_TCP_Write",           "IO_TCP_StartRead",    "IO_TCP_StartWrite",
        "IO_TCP_StartDisconnect", "IO_TCP_Disconnect"};
    if (type < 0 || type > IO_TCP_Disconnect)
        return "IO_UNKNOWN";
    return kNames[type];
}

}  // namespace ZephUtil
