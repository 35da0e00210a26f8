// A fresh installation and patch directory per test, what the applier reports recorded, and
// the fake tool installed in the installation's bin folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apply/md5.h"
#include "test_files.h"
#include "tests/support/recording_reporter.h"

namespace ZephTest {

// A line the applier reported: its level and text.
using Message = orvik_test::ReportedLine;

[[nodiscard]] inline std::string Md5Of(const std::string& text) {
    ZephPatch::MD5 md5;
    md5.update(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    md5.finalize();
    return md5.hex_digest();
}

struct ListEntry {
    std::string path;  // as written in the list, backslashes and all
    std::string after;
    std::string before;
};

inline void WriteList(const std::string& file, const std::vector<ListEntry>& entries) {
    std::string text;
    for (const auto& e : entries)
        text += e.path + "\r\n" + e.after + "\r\n" + e.before + "\r\n";
    WriteFile(file, text);
}

// Every regular file below `root` (relative path with '/') and its content.
[[nodiscard]] inline std::map<std::string, std::string> TreeOf(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
        if (item.is_regular_file()) {
            tree[std::filesystem::relative(item.path(), root).string()] =
                ReadFile(item.path().string());
        }
    }
    return tree;
}

class ApplierTest : public testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(install);
        std::filesystem::create_directories(patch);
        WriteList(patch + "/addedFiles.txt", {});
        WriteList(patch + "/deletedFiles.txt", {});
        WriteList(patch + "/patchedFiles.txt", {});
        m_toolLogSetting.emplace("FAKE_TOOL_LOG", toolLog.c_str());
    }
    void TearDown() override { m_toolLogSetting.reset(); }

    void InstallTool(const char* name) {
        std::filesystem::create_directories(install + "/bin");
        std::filesystem::copy_file(
            std::string(ORVIK_TEST_PROGRAMS) + "/fake_patch_tool" + orvik_test::kExeSuffix,
            install + "/bin/" + name, std::filesystem::copy_options::overwrite_existing);
    }

    // A file of the installation, its content before, and the difference file that makes
    // `after` of it with the fake tool; the entry goes into patchedFiles.txt.
    [[nodiscard]] ListEntry PatchedEntry(const std::string& relative, const std::string& before,
                                         const std::string& after) {
        WriteFile(install + "/" + relative, before);
        WriteFile(patch + "/data/" + relative + ".diff", "replace\n" + after);
        std::string listed = relative;
        std::replace(listed.begin(), listed.end(), '/', '\\');
        return {listed, Md5Of(after), Md5Of(before)};
    }

    [[nodiscard]] std::vector<std::string> ToolCalls() const {
        std::vector<std::string> calls;
        std::string text = ReadFile(toolLog);
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            calls.push_back(text.substr(start, end - start));
        }
        return calls;
    }

    [[nodiscard]] std::vector<Message> MessagesAtLeast(int level) const {
        std::vector<Message> found;
        for (const auto& m : reporter.lines) {
            if (m.first >= level)
                found.push_back(m);
        }
        return found;
    }

    orvik_test::RecordingReporter reporter;
    TestFolder root;
    std::string install = root / "install";
    std::string patch = root / "patch";
    std::string toolLog = root / "tool.log";

private:
    std::optional<orvik_test::ScopedEnv> m_toolLogSetting;
};

}  // namespace ZephTest
