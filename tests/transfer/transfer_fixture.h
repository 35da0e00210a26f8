// What the transfer tests share: quick retry settings, a report recorder and cancelling
// reporters.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/buffers/data_buffer.h"
#include "tests/support/recording_reporter.h"
#include "tests/transfer/test_servers.h"
#include "transfer/transfer_result.h"

namespace transfer_test {

// Every test gets short pauses and stall limits, so that a failing server costs milliseconds;
// the number of attempts stays what the installer uses unless a test lowers it.
class TransferTest : public ::testing::Test {
protected:
    TransferTest() {
        m_settings.retryPause = std::chrono::milliseconds(10);
        m_settings.connectTimeout = std::chrono::seconds(5);
        m_settings.stallTimeout = std::chrono::seconds(1);
    }

    void SetRetries(int fetch, int size) {
        m_settings.fetchRetries = fetch;
        m_settings.httpSizeRetries = size;
        m_settings.ftpSizeRetries = size;
    }
    // The test's settings, with its recorder or the given reporter.
    [[nodiscard]] ZephUtil::TransferContext Context() { return {m_settings, m_reports}; }
    [[nodiscard]] ZephUtil::TransferContext Context(ZephPatch::Reporter& reporter) {
        return {m_settings, reporter};
    }

    TestFolder m_folder;
    ZephUtil::TransferSettings m_settings;
    orvik_test::RecordingReporter m_reports;
};

// Stops the transfer once `when` says so, and from then on.
class CancelWhen : public orvik_test::RecordingReporter {
public:
    explicit CancelWhen(std::function<bool()> when) { stopWhen = std::move(when); }
};

[[nodiscard]] inline std::string Text(const ZephUtil::ZephDataBufferMemoryDynamic& buffer) {
    return std::string(buffer.Bytes().begin(), buffer.Bytes().end());
}

}  // namespace transfer_test
