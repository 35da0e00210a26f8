// Fails in the way its argument names, for the tests of the crash reports.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "kernel/crash/crash.h"
#include "kernel/log/system_log.h"

using namespace ZephUtil;

namespace {

// Each failure sits in a function of its own, so the reports can be checked for its name.
// (Returning a value keeps the assertion from becoming a tail call that drops this frame.)
__attribute__((noinline)) int CheckInventoryCount(int count) {
    ZEPH_ASSERT(count == 3);
    return count;
}

__attribute__((noinline)) void TouchForbiddenPage(volatile char* page) {
    page[8] = 1;
}

// The limit is never reached: the stack ends first.
__attribute__((noinline)) int RecurseDeeply(int depth, int limit) {
    volatile char frame[512];
    frame[depth % sizeof(frame)] = static_cast<char>(depth);
    if (depth >= limit)
        return frame[0];
    return RecurseDeeply(depth + 1, limit) + frame[1];
}

// A page that faults on every access.
char* ForbiddenPage() {
#ifdef _WIN32
    return static_cast<char*>(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS));
#else
    return static_cast<char*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
#endif
}

// Overwrites the size field of the heap's top chunk behind a fresh block, so that the next
// allocation from the top aborts inside malloc with the arena lock taken (glibc takes it
// once a second thread ever ran).
__attribute__((noinline)) void AllocateAfterCorruption() {
    std::thread([] {}).join();
    // Larger than any chunk freed so far, so it comes from the top; kBlock + 8 is a whole
    // number of chunk units, so the top's size field follows the block directly.
    constexpr size_t kBlock = 0x11000 - 8;
    const auto block = reinterpret_cast<uintptr_t>(malloc(kBlock));
    *reinterpret_cast<volatile size_t*>(block + kBlock) = ~size_t{0} - 0xF;
    void* volatile fromTop = malloc(100000);  // too big for any free chunk, too small for mmap
    free(fromTop);
}

bool WaitFor(bool (*condition)()) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    InstallCrashHandlers(mode != "console-keep");
    if (mode == "assert") {
        return CheckInventoryCount(argc);
    } else if (mode == "segv") {
        char* page = ForbiddenPage();
        Print("page %p", static_cast<void*>(page + 8));
        TouchForbiddenPage(page);
    } else if (mode == "overflow") {
        return RecurseDeeply(0, argc * 1000000000);
    } else if (mode == "malloc") {
        AllocateAfterCorruption();
    } else if (mode == "exit") {
        exit(0);
    } else if (mode == "dump-then-exit") {
        WriteDumpNow();
        WriteDumpNow();
        exit(0);
    } else if (mode == "disarm-exit") {
        DisarmCrashHandlers();
        exit(0);
    } else if (mode == "console-keep") {
        Print("ready");
        if (WaitFor(ConsoleCloseRequested))
            Print("close requested");
        DisarmCrashHandlers();
        return 0;
    } else if (mode == "console-allow") {
        Print("ready");
        // A signal cuts a sleep short; keep waiting so that only the signal ends the process.
        for (int i = 0; i < 100; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 3;
    } else if (mode == "toolkit") {
        SetToolkitDumpName("patcher");
        Print("name [%s]", ToolkitDumpName().c_str());
        WriteToolkitDump("unhandled exception");
        WriteToolkitDump("second");
        DisarmCrashHandlers();
        return 0;
    }
    return 2;
}
