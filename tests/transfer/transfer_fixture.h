// What the transfer tests share: quick retry settings, a report recorder and cancel callbacks.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/buffers/data_buffer.h"
#include "tests/transfer/test_servers.h"
#include "transfer/transfer_result.h"
#include "transfer/transfer_settings.h"

namespace transfer_test {

// Every test gets short pauses and stall limits, so that a failing server costs milliseconds;
// the number of attempts stays what the installer uses unless a test lowers it.
class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZephUtil::TransferSettings quick;
        quick.retryPause = std::chrono::milliseconds(10);
        quick.connectTimeout = std::chrono::seconds(5);
        quick.stallTimeout = std::chrono::seconds(1);
        ZephUtil::SetTransferSettings(quick);
    }
    void TearDown() override { ZephUtil::SetTransferSettings({}); }

    static void SetRetries(int fetch, int size) {
        ZephUtil::TransferSettings settings = ZephUtil::GetTransferSettings();
        settings.fetchRetries = fetch;
        settings.httpSizeRetries = size;
        settings.ftpSizeRetries = size;
        ZephUtil::SetTransferSettings(settings);
    }

    TestFolder m_folder;
};

struct Reports {
    std::vector<std::pair<int, std::string>> lines;
    ZephUtil::TransferReport Sink() {
        return [this](int level, const std::string& text) { lines.emplace_back(level, text); };
    }
};

// Answers "cancelled" once `when` says so, and from then on.
class CancelWhen : public ZephUtil::TransferCallback {
public:
    explicit CancelWhen(std::function<bool()> when) : m_when(std::move(when)) {}
    bool IsCancelled() override { return m_cancelled || (m_cancelled = m_when()); }

private:
    std::function<bool()> m_when;
    bool m_cancelled = false;
};

inline std::string Text(const ZephUtil::ZephDataBufferMemoryDynamic& buffer) {
    return std::string(buffer.Bytes().begin(), buffer.Bytes().end());
}

}  // namespace transfer_test
