// Crash reports on Windows: minidumps written by DbgHelp's MiniDumpWriteDump from the
// process's unhandled-exception filter, the runtime's invalid-parameter, pure-call and abort
// paths, and on request.
#include <windows.h>
// After windows.h, which it needs.
#include <dbghelp.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <string>

#include "kernel/crash/crash.h"
#include "kernel/crash/crash_internal.h"
#include "kernel/log/log_internal.h"
#include "kernel/log/system_log.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil::detail {
namespace {

// Indirectly referenced memory: the blocks the stacks point to travel with the dump.
constexpr MINIDUMP_TYPE kDumpType = MiniDumpWithIndirectlyReferencedMemory;
constexpr int kLogLockWaitMs = 2000;
// Room for the filter and DbgHelp once a thread's stack has overflowed.
constexpr ULONG kStackGuarantee = 64 * 1024;

std::atomic<bool> g_dumpInProgress{false};

void WriteDumpTo(const std::wstring& path, EXCEPTION_POINTERS* exception) {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen())
        return;
    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = GetCurrentThreadId();
    information.ExceptionPointers = exception;
    information.ClientPointers = TRUE;
    const bool locked = TryLockLogFor(kLogLockWaitMs);
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), kDumpType,
                      exception ? &information : nullptr, nullptr, nullptr);
    if (locked)
        UnlockLog();
}

// The process's one dump: "Velmor-48249.dmp" in the current folder, numbered when taken.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* exception) {
    if (g_dumpInProgress.exchange(true))
        return EXCEPTION_EXECUTE_HANDLER;
    const std::string name = MakeLogFilePath("Velmor-" + std::to_string(kProductBuild) + ".dmp");
    WriteDumpTo(WidePath(name), exception);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The calling thread's state as an exception record at the caller, so that the dump shows
// where it was asked for.
template <typename Writer>
__attribute__((noinline)) void WithCallerAsException(Writer write) {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_BREAKPOINT;
    record.ExceptionAddress = __builtin_return_address(0);
    EXCEPTION_POINTERS pointers = {&record, &context};
    write(&pointers);
}

void InvalidParameterHandler(const wchar_t* expression, const wchar_t* function,
                             const wchar_t* file, unsigned line, uintptr_t) {
    (void)expression;
    WriteDumpNow();
    PrintW(L"Invalid Parameter Handler> function=%ls, file=%ls, line=%d",
           function ? function : L"NULL", file ? file : L"NULL", static_cast<int>(line));
    abort();
}

void PureCallHandler() {
    WriteDumpNow();
    Print("Pure Call Handler> a pure virtual function was called");
    abort();
}

// abort() (a failed check of the runtime or of ours) ends the process through SIGABRT.
void AbortHandler(int) {
    WriteRequestedReport("SIGABRT");
    signal(SIGABRT, SIG_DFL);
}

}  // namespace

void WriteRequestedReport(const char*) {
    WithCallerAsException([](EXCEPTION_POINTERS* pointers) { CrashFilter(pointers); });
}

void WriteToolkitReport(const char* name, const char*) {
    WithCallerAsException(
        [name](EXCEPTION_POINTERS* pointers) { WriteDumpTo(WidePath(name), pointers); });
}

void EnsureAltSignalStack() {
    ULONG size = kStackGuarantee;
    SetThreadStackGuarantee(&size);
}

void InstallFatalSignalHandlers() {
    // No system error box: the dump is the report.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    EnsureAltSignalStack();
    SetUnhandledExceptionFilter(CrashFilter);
    _set_invalid_parameter_handler(InvalidParameterHandler);
    _set_purecall_handler(PureCallHandler);
    signal(SIGABRT, AbortHandler);
}

__attribute__((noinline)) int CaptureStack(void** frames, int maxFrames) {
    return RtlCaptureStackBackTrace(1, static_cast<DWORD>(maxFrames), frames, nullptr);
}

// DbgHelp's symbol handler for this process, set up at first use and kept: it serialises
// itself, and the crash paths must not tear it down.
std::vector<CallStackFrame> LookUpFrames(void* const* frames, int count) {
    static const bool ready = [] {
        SymSetOptions(SYMOPT_DEFERRED_LOADS | SYMOPT_LOAD_LINES | SYMOPT_FAIL_CRITICAL_ERRORS |
                      SYMOPT_NO_PROMPTS | SYMOPT_UNDNAME);
        return SymInitialize(GetCurrentProcess(), nullptr, TRUE) != FALSE;
    }();
    std::vector<CallStackFrame> found(static_cast<size_t>(count));
    if (!ready)
        return found;
    const HANDLE process = GetCurrentProcess();
    for (int i = 0; i < count; ++i) {
        // A return address is looked up one byte back, inside the call it returns from.
        const DWORD64 address = reinterpret_cast<DWORD64>(frames[i]) - 1;
        CallStackFrame& frame = found[static_cast<size_t>(i)];
        IMAGEHLP_MODULEW64 module = {};
        module.SizeOfStruct = sizeof(module);
        if (SymGetModuleInfoW64(process, address, &module))
            frame.module = FromWide(module.ImageName);
        alignas(SYMBOL_INFOW) char symbolSpace[sizeof(SYMBOL_INFOW) + 2000 * sizeof(wchar_t)] = {};
        auto* symbol = reinterpret_cast<SYMBOL_INFOW*>(symbolSpace);
        symbol->SizeOfStruct = sizeof(SYMBOL_INFOW);
        symbol->MaxNameLen = 2000;
        DWORD64 symbolOffset = 0;
        if (SymFromAddrW(process, address, &symbolOffset, symbol))
            frame.symbol = FromWide(std::wstring_view(symbol->Name, symbol->NameLen));
        IMAGEHLP_LINEW64 line = {};
        line.SizeOfStruct = sizeof(line);
        DWORD lineOffset = 0;
        if (SymGetLineFromAddrW64(process, address, &lineOffset, &line)) {
            frame.file = FromWide(line.FileName);
            frame.line = static_cast<int>(line.LineNumber);
        }
    }
    return found;
}

}  // namespace ZephUtil::detail
