// A clean shell for each test: empty settings, English texts, a registry and a temporary
// folder of its own, and front-end hooks that record what they were asked to show.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/core/shell_state.h"
#include "kernel/messages/message_catalogue.h"
#include "session/patch_settings.h"
#include "tests/support/test_folder.h"

namespace orvik_test {

class ShellTest : public ::testing::Test {
protected:
    ShellTest() {
        ZephPatch::SetMessageLanguage(ZephPatch::LANGUAGE_ENGLISH);
        m_hooks.messageBox = [this](const std::string& text, const std::string& caption) {
            m_boxes.emplace_back(text, caption);
        };
        m_hooks.report = [this](ZephPatch::ReportLevel level, const std::string& text) {
            m_reports.emplace_back(static_cast<int>(level), text);
        };
        m_hooks.showUsage = [this](const std::string& text) { m_usages.push_back(text); };
    }
    ~ShellTest() override { ZephPatch::SetMessageLanguage(ZephPatch::LANGUAGE_NEUTRAL); }

    // Parses `arguments` (after a program name) into m_state and m_settings.
    [[nodiscard]] bool Parse(std::vector<std::string> arguments);

    TestFolder m_folder;
    ScopedEnv m_registry{"ORVIK_REGISTRY_ROOT", (m_folder / "registry").c_str()};
    ScopedEnv m_temp{"TEMP", (m_folder / "temp").c_str()};
    ZephPatch::ShellState m_state;
    ZephPatch::PatchSettings m_settings;
    ZephPatch::ShellHooks m_hooks;
    std::vector<std::pair<std::string, std::string>> m_boxes;
    std::vector<std::pair<int, std::string>> m_reports;
    std::vector<std::string> m_usages;
};

}  // namespace orvik_test
