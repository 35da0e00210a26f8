// Times a program from its start to the moment the X server maps its window, watching from
// outside so that the program needs no hook: the window is the first viewable top-level window
// whose name begins with TITLE. Prints the milliseconds, then kills the program and reaps
// everything it started (a web view's helper processes included), so that no run leaves
// processes behind for the next one or for an init that does not reap orphans.
//
//   gui_window_start_time TITLE TIMEOUT_MS PROGRAM [ARGUMENTS...]
//
// Exit status: 0 measured; 1 time-out, the program ended first, or no display (the program's
// output then goes to standard error); 2 usage.
#include <X11/Xlib.h>
#include <dirent.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/threads/child_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMilliseconds = 20;
constexpr auto kReapLimit = std::chrono::seconds(10);
// Enough of the program's output to see why it did not show its window.
constexpr size_t kOutputKept = 16384;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Windows can vanish between a notification and our query; that is no error here.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

std::string WindowName(Display* display, Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::string name;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr && format == 8)
        name.assign(reinterpret_cast<char*>(data), count);
    if (data != nullptr)
        XFree(data);
    char* legacy = nullptr;
    if (name.empty() && XFetchName(display, window, &legacy) && legacy != nullptr) {
        name = legacy;
        XFree(legacy);
    }
    return name;
}

bool IsWindowViewable(Display* display, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// True when `event` shows the wanted window mapped with its name: either it was mapped with
// the name already set, or a mapped window was given the name.
bool IsWantedWindowShown(Display* display, XEvent& event, const std::string& title) {
    Window window = None;
    switch (event.type) {
        case CreateNotify:
            // Titles can be set after the map; watch the new window's properties.
            XSelectInput(display, event.xcreatewindow.window, PropertyChangeMask);
            return false;
        case MapNotify:
            window = event.xmap.window;
            break;
        case PropertyNotify:
            window = event.xproperty.window;
            if (!IsWindowViewable(display, window))
                return false;
            break;
        default:
            return false;
    }
    return WindowName(display, window).starts_with(title);
}

// Keeps the tail of the program's output and keeps its pipe from filling up.
void DrainOutput(ZephUtil::ChildProcess& child, std::string& output) {
    pollfd ready{child.outputRead.Get(), POLLIN, 0};
    while (child.outputRead.IsOpen() && poll(&ready, 1, 0) > 0 && ReadChildOutput(child, output)) {
        if (output.size() > 2 * kOutputKept)
            output.erase(0, output.size() - kOutputKept);
    }
}

// Waits for the window; false on time-out or when the program ends first.
bool WaitForWindow(Display* display, const std::string& title, ZephUtil::ChildProcess& child,
                   Clock::time_point deadline, std::string& output) {
    XEvent event;
    while (Clock::now() < deadline) {
        while (XPending(display) > 0) {
            XNextEvent(display, &event);
            if (IsWantedWindowShown(display, event, title))
                return true;
        }
        DrainOutput(child, output);
        if (WaitChildProcess(child, 0))
            return false;
        pollfd ready[2] = {{ConnectionNumber(display), POLLIN, 0},
                           {child.outputRead.Get(), POLLIN, 0}};
        poll(ready, 2, kPollMilliseconds);
    }
    return false;
}

// Direct children of this process: the program's orphans, handed to us as their subreaper.
std::vector<pid_t> OwnChildren() {
    std::vector<pid_t> children;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc)
        return children;
    while (const dirent* entry = readdir(proc.get())) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        const std::string path = "/proc/" + std::to_string(pid) + "/stat";
        std::unique_ptr<FILE, int (*)(FILE*)> stat(std::fopen(path.c_str(), "r"), std::fclose);
        char line[512];
        if (!stat || std::fgets(line, sizeof line, stat.get()) == nullptr)
            continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const char* afterName = std::strrchr(line, ')');
        char state = 0;
        int parent = 0;
        if (afterName != nullptr && std::sscanf(afterName + 1, " %c %d", &state, &parent) == 2 &&
            parent == getpid())
            children.push_back(pid);
    }
    return children;
}

// Kills the program and then every orphan it left, until no child is left to reap.
bool EndProgram(ZephUtil::ChildProcess& child, std::string& output) {
    TerminateChildProcess(child, 1);
    WaitChildProcess(child, -1);
    const Clock::time_point deadline = Clock::now() + kReapLimit;
    while (Clock::now() < deadline) {
        const pid_t pid = waitpid(-1, nullptr, WNOHANG);
        if (pid > 0 || (pid < 0 && errno == EINTR))
            continue;
        if (pid < 0)
            return true;  // ECHILD: all reaped
        for (pid_t orphan : OwnChildren())
            kill(orphan, SIGKILL);
        DrainOutput(child, output);
        poll(nullptr, 0, kPollMilliseconds);
    }
    std::fprintf(stderr, "gui_window_start_time: processes of the program outlived it\n");
    return false;
}

int Measure(const std::string& title, int timeoutMs, const std::string& program,
            const std::vector<std::string>& arguments) {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) {
        std::fprintf(stderr, "gui_window_start_time: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreXError);
    XSelectInput(display.get(), DefaultRootWindow(display.get()), SubstructureNotifyMask);
    XSync(display.get(), False);
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    const Clock::time_point start = Clock::now();
    std::unique_ptr<ZephUtil::ChildProcess> child =
        ZephUtil::StartChildProcessArgv(program, arguments);
    if (!child) {
        std::fprintf(stderr, "gui_window_start_time: cannot start %s\n", program.c_str());
        return 1;
    }
    std::string output;
    const bool shown = WaitForWindow(display.get(), title, *child,
                                     start + std::chrono::milliseconds(timeoutMs), output);
    const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const bool running = !WaitChildProcess(*child, 0);
    const bool ended = EndProgram(*child, output);
    if (!shown) {
        std::fprintf(stderr, "gui_window_start_time: no window \"%s\" %s; its output:\n%s\n",
                     title.c_str(), running ? "before the time-out" : "before the program ended",
                     output.c_str());
        return 1;
    }
    std::printf("%.1f\n", elapsed);
    return ended ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::atoi(argv[2]) <= 0) {
        std::fprintf(stderr,
                     "usage: gui_window_start_time TITLE TIMEOUT_MS PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    return Measure(argv[1], std::atoi(argv[2]), argv[3],
                   std::vector<std::string>(argv + 4, argv + argc));
}
