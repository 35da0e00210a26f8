#pragma once

// Helpers for running the real orbpatch program on real files.

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;
#endif

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_folder.h"

namespace OrbPatchTest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using orvik_test::ReadBytes;
using orvik_test::WriteBytes;
// Paths as the tests build them (a path is no std::string on Windows).
inline Bytes ReadBytes(const fs::path& path) {
    return orvik_test::ReadBytes(path.string());
}
inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    orvik_test::WriteBytes(path.string(), bytes);
}

[[nodiscard]] inline Bytes RandomBytes(size_t size, uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

#ifdef _WIN32
// One argument as the C runtime splits a command line: quoted, with the backslashes before a
// quote doubled.
[[nodiscard]] inline std::wstring QuoteArgument(const std::wstring& arg) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// Runs `program` (argv[0] = its path) with `args` (paths or plain words), standard error into
// `errPath`, and returns its exit code, or -1 when it could not be started.
[[nodiscard]] inline int RunProgram(const fs::path& program, const std::vector<fs::path>& args,
                                    const fs::path& errPath) {
    std::wstring commandLine = QuoteArgument(program.wstring());
    for (const auto& arg : args) {
        commandLine += L" " + QuoteArgument(arg.wstring());
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE err = CreateFileW(errPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    bool started = CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr,
                                  TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(err);
    if (!started) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
#else
// Runs `program` (argv[0] = its path) with `args` (paths or plain words), standard error into
// `errPath`, and returns its exit code, or -1 when it did not exit normally.
[[nodiscard]] inline int RunProgram(const fs::path& program, const std::vector<fs::path>& args,
                                    const fs::path& errPath) {
    std::vector<std::string> all = {program.string()};
    for (const auto& arg : args) {
        all.push_back(arg.string());
    }
    std::vector<char*> argv;
    for (auto& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

[[nodiscard]] inline fs::path ToolPath() {
    return ORBPATCH_PROGRAM;
}

}  // namespace OrbPatchTest
