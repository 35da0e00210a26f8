// A reporter for tests: keeps every line with its level (as the number the logs show), the
// applier's entry counts, and answers "go on" as the test says. Safe for several threads.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kernel/reporter.h"

namespace orvik_test {

using ReportedLine = std::pair<int, std::string>;

class RecordingReporter : public ZephPatch::ProgressSink {
public:
    void Report(ZephPatch::ReportLevel level, const std::string& utf8) override {
        std::lock_guard lock(m_mutex);
        lines.emplace_back(static_cast<int>(level), utf8);
    }
    // False from the moment `stopWhen` says so, and while `goOnCount` answers are used up.
    [[nodiscard]] bool ShouldContinue() override {
        std::lock_guard lock(m_mutex);
        m_stopped = m_stopped || (stopWhen && stopWhen());
        if (m_stopped || goOnCount == 0)
            return false;
        if (goOnCount > 0)
            --goOnCount;
        return true;
    }
    void SetGaugeRange(int range) override { gaugeRange = range; }
    void SetGaugeValue(int value) override { gaugeValue = value; }
    void StartApplying(int total) override { totals.push_back(total); }
    void EntryBegun() override { ++entries; }

    // Each line as "level text".
    [[nodiscard]] std::vector<std::string> Shown() const {
        std::vector<std::string> shown;
        for (const auto& [level, text] : lines)
            shown.push_back(std::to_string(level) + " " + text);
        return shown;
    }

    std::vector<ReportedLine> lines;
    std::vector<int> totals;
    int entries = 0;
    int gaugeRange = 0;
    int gaugeValue = 0;
    int goOnCount = -1;  // negative: no limit
    std::function<bool()> stopWhen;

private:
    std::mutex m_mutex;
    bool m_stopped = false;
};

}  // namespace orvik_test
