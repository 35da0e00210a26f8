// Runs zephpack as a child and compares the trees it writes.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <map>
#include <string>

#include "tests/package/container_test_support.h"

namespace ContainerTest {

[[nodiscard]] inline std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

[[nodiscard]] inline std::string Zephpack() {
    return Quote(ZEPHPACK_PROGRAM);
}

// Runs a shell command line, waits for it, and gives its exit status and its output.
[[nodiscard]] inline int RunCommand(const std::string& commandLine, std::string* output = nullptr) {
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every path below the folder with its contents ("/" for folders), for comparing trees.
[[nodiscard]] inline std::map<std::string, Bytes> TreeOf(const std::string& folder) {
    std::map<std::string, Bytes> tree;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string relative = fs::relative(entry.path(), folder).string();
        tree[relative] = entry.is_directory() ? Bytes{'/'} : ReadBytes(entry.path().string());
    }
    return tree;
}

}  // namespace ContainerTest
