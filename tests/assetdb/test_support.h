// Shared pieces of the asset-database tests: a temporary installation, the peer process and a
// front end that records what it is shown.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "assetdb/asset_database.h"
#include "kernel/reporter.h"
#include "kernel/threads/child_process.h"
#include "tests/support/fake_utility.h"
#include "tests/support/test_folder.h"

namespace ZephPatch::Testing {

namespace fs = std::filesystem;

// A fresh installation folder: UserData/ and bin/, removed again at the end.
class TempInstallation {
public:
    TempInstallation() {
        fs::create_directories(Path("UserData"));
        fs::create_directories(Path("bin"));
    }
    ~TempInstallation() { database.DetachDatabase(); }
    [[nodiscard]] const std::string& Root() const { return m_root.Path(); }
    [[nodiscard]] std::string Database() const { return Path("UserData/assets.tdx"); }
    [[nodiscard]] std::string Path(const std::string& relative) const {
        return m_root.Path(relative);
    }

    // The fake product utility as bin/VelmorUtil.exe, with `settings` as its control file.
    void InstallUtility(const std::string& settings = "") const {
        const std::string utility = Path("bin/VelmorUtil.exe");
        orvik_test::InstallFakeUtility(utility);
        fs::permissions(utility, fs::perms::owner_all);
        std::ofstream(Path("bin/VelmorUtil.cfg")) << settings;
    }
    void InstallDaemon() const { std::ofstream(Path("bin/VADDaemon.exe")) << "daemon"; }
    // One line per run of the utility: its arguments.
    [[nodiscard]] std::vector<std::string> UtilityRuns() const {
        std::vector<std::string> runs;
        std::ifstream log(Path("bin/VelmorUtil.log"));
        for (std::string line; std::getline(log, line);)
            runs.push_back(line);
        return runs;
    }

    // This test's attachment, detached again at the end.
    AssetDatabaseAttachment database;

private:
    orvik_test::TestFolder m_root;
};

// How a peer told to "die" ends: 128 + SIGKILL, the code Windows is given for it too.
constexpr int kKilledExitCode = 137;

[[nodiscard]] inline std::string PeerProgram() {
    return ORVIK_TEST_PROGRAMS "/assetdb_peer";
}

// The peer process (or another `program` taking the same arguments); every test waits for the
// peers it starts.
class Peer {
public:
    Peer(const std::string& database, const std::vector<std::string>& commands,
         const std::string& program = PeerProgram()) {
        std::vector<std::string> arguments{database};
        arguments.insert(arguments.end(), commands.begin(), commands.end());
        m_child = ZephUtil::StartChildProcessArgv(program, arguments);
        if (m_child)
            m_pid = m_child->processId;
    }
    ~Peer() { Finish(); }
    // Reads the peer's output until it contains `marker` or ends; true when found.
    [[nodiscard]] bool ReadUntil(const std::string& marker) {
        while (m_child && m_output.find(marker) == std::string::npos) {
            if (!ZephUtil::ReadChildOutput(*m_child, m_output))
                return false;
        }
        return m_child != nullptr;
    }
    // Drains the output and waits for the end; the exit code (128 + signal when killed).
    int Finish() {
        if (!m_child)
            return -1;
        while (ZephUtil::ReadChildOutput(*m_child, m_output)) {
        }
        ZephUtil::WaitChildProcess(*m_child, -1);
        const int code = ZephUtil::ChildExitCode(*m_child);
        ZephUtil::CloseChildProcess(*m_child);
        m_child.reset();
        m_exitCode = code;
        return code;
    }
    [[nodiscard]] int32_t Pid() const { return m_pid; }
    [[nodiscard]] const std::string& Output() const { return m_output; }
    [[nodiscard]] int ExitCode() const { return m_exitCode; }

private:
    std::unique_ptr<ZephUtil::ChildProcess> m_child;
    std::string m_output;
    int32_t m_pid = -1;
    int m_exitCode = -1;
};

// Records what the front end is shown; cancels once a report contains `cancelOn`.
class RecordingSink : public ProgressSink {
public:
    struct Event {
        enum Kind { kRange, kValue, kReport } kind;
        int number;  // the range, the value or the level
        std::string text;
    };

    explicit RecordingSink(std::string cancelOn = "") : m_cancelOn(std::move(cancelOn)) {}

    void SetGaugeRange(int range) override { Add({Event::kRange, range, {}}); }
    void SetGaugeValue(int value) override { Add({Event::kValue, value, {}}); }
    void Report(ReportLevel level, const std::string& utf8) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back({Event::kReport, static_cast<int>(level), utf8});
        if (!m_cancelOn.empty() && utf8.find(m_cancelOn) != std::string::npos)
            m_cancelled = true;
    }
    [[nodiscard]] bool ShouldContinue() override {
        std::lock_guard lock(m_mutex);
        return !m_cancelled;
    }

    [[nodiscard]] std::vector<Event> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    [[nodiscard]] std::vector<Event> Reports() const { return Only(Event::kReport); }
    [[nodiscard]] std::vector<int> Values() const {
        std::vector<int> values;
        for (const Event& e : Only(Event::kValue))
            values.push_back(e.number);
        return values;
    }
    [[nodiscard]] std::vector<int> Ranges() const {
        std::vector<int> ranges;
        for (const Event& e : Only(Event::kRange))
            ranges.push_back(e.number);
        return ranges;
    }

private:
    void Add(Event event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    [[nodiscard]] std::vector<Event> Only(Event::Kind kind) const {
        std::vector<Event> only;
        for (const Event& e : Events()) {
            if (e.kind == kind)
                only.push_back(e);
        }
        return only;
    }

    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
    std::string m_cancelOn;
    bool m_cancelled = false;
};

}  // namespace ZephPatch::Testing
