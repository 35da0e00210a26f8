#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "kernel/log/log_internal.h"

namespace ZephUtil::detail {
namespace {

// Keeps SIGPIPE away from the calling thread for the duration of one write: a parent that
// stopped reading our output must not end the process.
class SigpipeBlock {
public:
    SigpipeBlock() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &m_previousMask);
    }
    ~SigpipeBlock() {
        // Consume the SIGPIPE our own write raised. Where the caller blocked SIGPIPE already,
        // a pending one is the caller's business.
        if (m_brokePipe && !sigismember(&m_previousMask, SIGPIPE)) {
            sigset_t pipeOnly;
            sigemptyset(&pipeOnly);
            sigaddset(&pipeOnly, SIGPIPE);
            const timespec noWait{0, 0};
            sigtimedwait(&pipeOnly, nullptr, &noWait);
        }
        pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

    void NoteBrokenPipe() { m_brokePipe = true; }

private:
    sigset_t m_previousMask;
    bool m_brokePipe = false;
};

}  // namespace

void WriteAll(int fd, const void* data, size_t size) {
    SigpipeBlock block;
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, next, size);
        if (written > 0) {
            next += written;
            size -= static_cast<size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && errno == EAGAIN) {
            // Someone made the descriptor non-blocking: wait until it takes more.
            pollfd ready{fd, POLLOUT, 0};
            if (poll(&ready, 1, -1) < 0 && errno != EINTR)
                return;
        } else {
            if (written < 0 && errno == EPIPE)
                block.NoteBrokenPipe();
            return;
        }
    }
}

}  // namespace ZephUtil::detail
