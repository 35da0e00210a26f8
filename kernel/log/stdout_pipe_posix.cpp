// The parent's pipe on Linux: the FIFO <TMPDIR or /tmp>/<pid>cout, created and opened for
// reading by the parent before we start.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "kernel/files/unique_fd.h"
#include "kernel/log/log_internal.h"

namespace ZephUtil::detail {
namespace {

std::string PipePath() {
    const char* folder = getenv("TMPDIR");
    if (!folder || !*folder)
        folder = "/tmp";
    return std::string(folder) + "/" + std::to_string(getpid()) + "cout";
}

}  // namespace

// Non-blocking open, so a FIFO left behind by an earlier process with our pid and without a
// reader cannot stall start-up (it fails with ENXIO instead). No symlinks, FIFOs only.
bool ConnectStdoutPipe() {
    const UniqueFd fd(
        open(PipePath().c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    if (!fd.IsOpen())
        return false;
    struct stat info;
    const bool isFifo = fstat(fd.Get(), &info) == 0 && S_ISFIFO(info.st_mode);
    // Blocking from here on: a slow reader must slow us down, not lose lines.
    const int flags = fcntl(fd.Get(), F_GETFL);
    const bool connected = isFifo && flags >= 0 &&
                           fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) == 0 &&
                           dup2(fd.Get(), STDOUT_FILENO) == STDOUT_FILENO;
    return connected;
}

}  // namespace ZephUtil::detail
