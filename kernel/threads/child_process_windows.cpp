// Child processes on Windows: CreateProcessW without a console window, the child's standard
// output and standard error into one anonymous pipe.
#include <fcntl.h>
#include <io.h>

#include <mutex>
#include <utility>

#include "kernel/files/file_utils.h"
#include "kernel/system/windows_support.h"
#include "kernel/threads/child_process.h"

namespace ZephUtil {

struct ChildSystemState {
    UniqueHandle process;
    UniqueHandle job;  // ends the child with this process (endWithStarter); else none
};

namespace {

// The code of a process that ended by an unhandled exception starts with these bits
// (STATUS_ACCESS_VIOLATION is 0xC0000005).
constexpr DWORD kExceptionCodeBits = 0xC0000000;

// While the pipe's write end is inheritable, no other child may be started: it would
// inherit the write end and keep the pipe open after our child ended.
std::mutex g_inheritLock;

// One argument as the child's runtime splits it back (SplitCommandLine's rules).
std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');  // before the closing quote
    quoted += '"';
    return quoted;
}

// A job that kills the child when its last handle closes: when this process ends.
UniqueHandle KillOnCloseJob() {
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job.IsOpen() || !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation,
                                                  &limits, sizeof limits))
        return UniqueHandle();
    return job;
}

std::unique_ptr<ChildProcess> StartWithCommandLine(const std::string& commandLine,
                                                   const ChildOptions& options) {
    HANDLE readHandle = nullptr;
    HANDLE writeHandle = nullptr;
    if (!CreatePipe(&readHandle, &writeHandle, nullptr, 0))
        return nullptr;
    UniqueHandle readEnd(readHandle);
    UniqueHandle writeEnd(writeHandle);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = writeEnd.Get();
    std::wstring command = ToWide(commandLine);
    const std::wstring folder = WidePath(options.workingDirectory);
    UniqueHandle job = options.endWithStarter ? KillOnCloseJob() : UniqueHandle();
    PROCESS_INFORMATION started = {};
    {
        const std::lock_guard<std::mutex> lock(g_inheritLock);
        if (!SetHandleInformation(writeEnd.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
            !CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                            CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr,
                            folder.empty() ? nullptr : folder.c_str(), &startup, &started))
            return nullptr;
        writeEnd.Reset();
    }
    UniqueHandle thread(started.hThread);
    auto child = std::make_unique<ChildProcess>();
    child->system = std::make_unique<ChildSystemState>();
    child->system->process.Reset(started.hProcess);
    // In the job before it runs a single instruction, so nothing it starts escapes either.
    if (job.IsOpen() && AssignProcessToJobObject(job.Get(), started.hProcess))
        child->system->job = std::move(job);
    ResumeThread(thread.Get());
    child->processId = static_cast<ProcessId>(started.dwProcessId);
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(readEnd.Get()), _O_RDONLY | _O_BINARY);
    if (fd >= 0) {
        readEnd.Release();
        child->outputRead.Reset(fd);
    }
    return child;
}

HANDLE ProcessHandle(const ChildProcess& child) {
    return child.system ? child.system->process.Get() : nullptr;
}

}  // namespace

std::unique_ptr<ChildProcess> StartChildProcess(const std::string& program,
                                                const std::string& arguments,
                                                const ChildOptions& options) {
    return StartWithCommandLine("\"" + NormaliseSeparators(program, '\\') + "\" " + arguments,
                                options);
}

std::unique_ptr<ChildProcess> StartChildProcessArgv(const std::string& program,
                                                    const std::vector<std::string>& arguments,
                                                    const ChildOptions& options) {
    std::string commandLine = "\"" + NormaliseSeparators(program, '\\') + "\"";
    for (const std::string& argument : arguments)
        commandLine += " " + QuoteArgument(argument);
    return StartWithCommandLine(commandLine, options);
}

bool WaitChildProcess(ChildProcess& child, int milliseconds) {
    if (child.reaped)
        return true;
    const HANDLE process = ProcessHandle(child);
    if (!process)
        return false;
    const DWORD result = WaitForSingleObject(
        process, milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
        return false;
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code))
        child.exitStatus = static_cast<int>(code);
    child.reaped = true;
    return true;
}

int ChildExitCode(const ChildProcess& child) {
    if (!child.reaped)
        return -1;
    return child.terminated ? child.terminateCode.load() : child.exitStatus;
}

bool ChildWasSignalled(const ChildProcess& child) {
    const auto code = static_cast<DWORD>(child.exitStatus);
    return child.reaped && (child.terminated || (code & kExceptionCodeBits) == kExceptionCodeBits);
}

void TerminateChildProcess(ChildProcess& child, int exitCode) {
    child.terminateCode = exitCode;
    child.terminated = true;
    if (const HANDLE process = ProcessHandle(child))
        TerminateProcess(process, static_cast<UINT>(exitCode));
}

void CloseChildProcess(ChildProcess& child) {
    child.outputRead.Reset();
    child.errorRead.Reset();
    if (child.system && child.system->job.IsOpen() && !WaitChildProcess(child, 0)) {
        // Closing the job would kill the child now; it is to end with this process instead.
        child.system->job.Release();
    }
    child.system.reset();
    child.readBuffer = {};
}

ChildProcess::~ChildProcess() {
    CloseChildProcess(*this);
}

bool IsProcessRunning(ProcessId processId) {
    if (processId <= 0)
        return false;
    const UniqueHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId)));
    DWORD code = 0;
    return process.IsOpen() && GetExitCodeProcess(process.Get(), &code) && code == STILL_ACTIVE;
}

}  // namespace ZephUtil
