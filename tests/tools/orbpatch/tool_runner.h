#pragma once

// Helpers for running the real orbpatch program on real files.

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_folder.h"

extern char** environ;

namespace OrbPatchTest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using orvik_test::ReadBytes;
using orvik_test::WriteBytes;

[[nodiscard]] inline Bytes RandomBytes(size_t size, uint64_t seed) {
    std::mt19937_64 rng(seed);
    Bytes bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

// Runs `program` (argv[0] = its path) with `args`, standard error into `errPath`, and returns
// its exit code, or -1 when it did not exit normally.
[[nodiscard]] inline int RunProgram(const fs::path& program, const std::vector<std::string>& args,
                                    const fs::path& errPath) {
    std::vector<std::string> all = {program.string()};
    all.insert(all.end(), args.begin(), args.end());
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

[[nodiscard]] inline fs::path ToolPath() {
    return ORBPATCH_PROGRAM;
}

}  // namespace OrbPatchTest
