#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "kernel/log/system_log.h"
#include "tools/zephrepaird/process_setup.h"

namespace ZephRepairServer {

// The stop signals wait for one thread of their own (every other thread blocks them).
void StopOnRequest() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0)
            return;
        ZephUtil::Print("zephrepaird> %s: stopping", strsignal(signal));
        _exit(0);
    }).detach();
}

void RaiseDescriptorLimit() {
    rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace ZephRepairServer
