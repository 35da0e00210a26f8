// A child for the process tests: does what its first argument says.
#include <signal.h>
#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "kernel/threads/child_process.h"

namespace {

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count <= 0)
            exit(90);
        done += static_cast<size_t>(count);
    }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The bytes as written, "\n" without "\r", as the tests expect on every system.
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
#endif
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "args") {  // each argument in brackets, one a line
        std::string text;
        for (int i = 2; i < argc; ++i)
            text += std::string("[") + argv[i] + "]\n";
        WriteAll(1, text);
    } else if (mode == "lines") {  // numbered lines up to N bytes, in one write
        std::string text;
        char line[16];
        for (int i = 0; text.size() < std::strtoul(argv[2], nullptr, 10); ++i) {
            snprintf(line, sizeof line, "%08d\n", i);
            text += line;
        }
        WriteAll(1, text);
    } else if (mode == "interleave") {
        for (int i = 0; i < 3; ++i) {
            WriteAll(1, "out" + std::to_string(i) + "\n");
            WriteAll(2, "err" + std::to_string(i) + "\n");
        }
    } else if (mode == "zero") {
        WriteAll(1, std::string("ab\0cd", 5));
    } else if (mode == "pwd") {
        char path[4096];
        WriteAll(1, getcwd(path, sizeof path));
    } else if (mode == "exit") {
        return atoi(argv[2]);
    } else if (mode == "hang") {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
#ifndef _WIN32                       // the signal modes
    } else if (mode == "starter") {  // starts a hanging child that ends with it, then dies
        ZephUtil::ChildOptions options;
        options.endWithStarter = true;
        auto child = ZephUtil::StartChildProcessArgv(argv[0], {"hang"}, options);
        WriteAll(1, std::to_string(child ? child->processId : -1));
        raise(SIGKILL);
    } else if (mode == "sigpipe") {  // reports whether SIGPIPE has its default action
        struct sigaction action;
        sigaction(SIGPIPE, nullptr, &action);
        WriteAll(1, action.sa_handler == SIG_DFL ? "default" : "changed");
#endif
    }
    return 0;
}
