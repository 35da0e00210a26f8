#include <windows.h>

#include <utility>

#include "app/core/program_launch.h"
#include "kernel/system/wide_text.h"

namespace ZephPatch {
namespace {

HANDLE HandleOf(intptr_t process) {
    return reinterpret_cast<HANDLE>(process);
}

}  // namespace

LaunchedProgram::~LaunchedProgram() {
    if (m_process != -1)
        CloseHandle(HandleOf(m_process));
}

LaunchedProgram& LaunchedProgram::operator=(LaunchedProgram&& other) noexcept {
    if (this != &other) {
        if (m_process != -1)
            CloseHandle(HandleOf(m_process));
        m_process = std::exchange(other.m_process, -1);
    }
    return *this;
}

bool LaunchedProgram::Wait(int milliseconds, int* exitCode) {
    if (m_process == -1)
        return false;
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    DWORD code = 0;
    if (WaitForSingleObject(HandleOf(m_process), limit) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(HandleOf(m_process), &code))
        return false;
    *exitCode = static_cast<int>(code);
    return true;
}

int LaunchCommandLine(const std::string& commandLine, LaunchedProgram* program) {
    std::wstring line = ZephUtil::ToWide(commandLine);
    if (line.empty())
        return ERROR_INVALID_PARAMETER;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
        return static_cast<int>(GetLastError());
    CloseHandle(started.hThread);
    *program = LaunchedProgram(reinterpret_cast<intptr_t>(started.hProcess));
    return 0;
}

}  // namespace ZephPatch
