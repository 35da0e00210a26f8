// Test support on Windows: a test program started suspended, so that a test can prepare what
// the child looks for at start (its pipe), then run to its end.
#pragma once

#include <windows.h>

#include <string>

#include "kernel/system/windows_support.h"

namespace orvik_test {

class SuspendedChild {
public:
    SuspendedChild(const std::string& program, const std::string& arguments,
                   const std::string& folder = {}) {
        std::wstring command = ZephUtil::ToWide("\"" + program + "\" " + arguments);
        const std::wstring cwd = ZephUtil::WidePath(folder);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        m_started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                   CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                                   cwd.empty() ? nullptr : cwd.c_str(), &startup, &m_process);
    }
    ~SuspendedChild() {
        if (!m_started)
            return;
        TerminateProcess(m_process.hProcess, 1);
        WaitForSingleObject(m_process.hProcess, INFINITE);
        CloseHandle(m_process.hThread);
        CloseHandle(m_process.hProcess);
    }
    SuspendedChild(const SuspendedChild&) = delete;
    SuspendedChild& operator=(const SuspendedChild&) = delete;

    bool Started() const { return m_started; }
    DWORD Id() const { return m_process.dwProcessId; }
    void Resume() { ResumeThread(m_process.hThread); }
    // The exit code once it ended; STILL_ACTIVE when it did not within the wait.
    DWORD Finish() {
        WaitForSingleObject(m_process.hProcess, 60000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    bool m_started = false;
    PROCESS_INFORMATION m_process = {};
};

}  // namespace orvik_test
