// Trees for end-to-end patch tests: copying, comparing, and an installation with the real
// difference tool in its bin folder and an uninstall log of the setup program's layout.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../apply/test_files.h"
#include "../apply/unins_log_helpers.h"
#include "kernel/threads/child_process.h"

namespace ZephTest {
namespace fs = std::filesystem;

inline constexpr const char* kToolInBin = "bin/orbpatchl-w32.exe";
inline constexpr const char* kLogName = "unins000.dat";

// The setup program's records an installation starts with (some files and folders, then
// the end-install record).
[[nodiscard]] inline std::vector<LogRecord> InitialLogRecords() {
    return {FillerRecord(300, 1), FillerRecord(5000, 2), FillerRecord(40, 3),
            EndInstallRecord(false)};
}

inline void CopyTree(const std::string& from, const std::string& to) {
    fs::create_directories(to);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// An installation of `tree`: the tree, the real difference tool in bin and an uninstall log.
inline void MakeInstallation(const std::string& tree, const std::string& install) {
    fs::remove_all(install);
    CopyTree(tree, install);
    fs::create_directories(install + "/bin");
    fs::copy_file(ORBPATCH_PROGRAM, install + "/" + kToolInBin);
    WriteBytes(install + "/" + kLogName, BuildLog(InitialLogRecords()));
}

// The installation's files less the tool and the log, to compare with a tree.
[[nodiscard]] inline std::map<std::string, std::string> InstalledFiles(const std::string& install) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(install)) {
        if (!item.is_regular_file())
            continue;
        const std::string path = fs::relative(item.path(), install).string();
        if (path != kToolInBin && path != kLogName)
            tree[path] = ReadFile(item.path().string());
    }
    return tree;
}

[[nodiscard]] inline std::map<std::string, std::string> FilesOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            tree[fs::relative(item.path(), root).string()] = ReadFile(item.path().string());
        }
    }
    return tree;
}

// The uninstall log after a patch that added `added` (relative paths, list order).
[[nodiscard]] inline std::vector<LogRecord> LogRecordsAfter(const std::string& install,
                                                            const std::vector<std::string>& added) {
    std::vector<LogRecord> records = InitialLogRecords();
    const LogRecord end = records.back();
    records.pop_back();
    for (const std::string& path : added) {
        const std::string full = install + "/" + path;
        std::vector<uint8_t> data;
        if (full.size() <= 252) {
            data.push_back(static_cast<uint8_t>(full.size()));
        } else {
            data = {0xFD, static_cast<uint8_t>(full.size()),
                    static_cast<uint8_t>(full.size() >> 8)};
        }
        data.insert(data.end(), full.begin(), full.end());
        data.push_back(0xFF);
        records.push_back({0x82, 0, data});
    }
    records.push_back(end);
    return records;
}

// Runs a program to its end; its exit code.
[[nodiscard]] inline int RunProgram(const std::string& program,
                                    const std::vector<std::string>& arguments,
                                    std::string* output = nullptr) {
    auto child = ZephUtil::StartChildProcessArgv(program, arguments);
    if (!child)
        return -1;
    std::string text;
    while (ZephUtil::ReadChildOutput(*child, text)) {
    }
    ZephUtil::WaitChildProcess(*child, -1);
    if (output)
        *output = text;
    return ZephUtil::ChildExitCode(*child);
}

}  // namespace ZephTest
