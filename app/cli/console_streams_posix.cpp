#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/cli/console_streams.h"

namespace ZephPatch {

void PrepareConsole() {}

bool IsTerminal(int fd) {
    return isatty(fd) == 1;
}

bool SameFile(int first, int second) {
    struct stat a, b;
    return fstat(first, &a) == 0 && fstat(second, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

size_t TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

}  // namespace ZephPatch
