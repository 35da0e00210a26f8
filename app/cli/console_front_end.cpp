#include "app/cli/console_front_end.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/cli/console_streams.h"
#include "app/core/product_install_path.h"
#include "kernel/crash/crash.h"
#include "kernel/files/file_utils.h"
#include "kernel/messages/message_catalogue.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

constexpr int kBarWidth = 40;
// Narrower while figures follow, so that the line fits a usual terminal.
constexpr int kBarWidthWithText = 20;
constexpr double kMebibyte = 1024.0 * 1024.0;

std::string Bar(int percent, int width) {
    const int filled = percent * width / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
           std::to_string(percent) + "%";
}

std::string Mebibytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / kMebibyte);
    return text;
}

// "12.3 of 40.0 MiB, 1.2 MiB/s, 23 s left"; without a size, what has arrived so far.
std::string DownloadText(const DownloadProgress& progress) {
    if (progress.total == 0)
        return "Downloaded " + Mebibytes(progress.received) + " MiB";
    std::string text = Mebibytes(progress.received) + " of " + Mebibytes(progress.total) + " MiB";
    if (progress.elapsedSeconds <= 0 || progress.received == 0)
        return text;
    const double rate = static_cast<double>(progress.received) / progress.elapsedSeconds;
    text += ", " + Mebibytes(static_cast<uint64_t>(rate)) + " MiB/s";
    if (progress.total > progress.received)
        text += ", " +
                DurationText(static_cast<double>(progress.total - progress.received) / rate) +
                " left";
    return text;
}

}  // namespace

ShellHooks ConsoleFrontEnd::MakeShellHooks() {
    ShellHooks hooks;
    hooks.messageBox = [this](const std::string& text, const std::string& caption) {
        ShowMessageBox(text, caption);
    };
    hooks.report = [this](ReportLevel level, const std::string& text) { Report(level, text); };
    hooks.showUsage = [this](const std::string& text) { Report(ReportLevel::kStep, text); };
    return hooks;
}

EmbeddedCheckHost ConsoleFrontEnd::MakeCheckHost() {
    EmbeddedCheckHost host(*this);
    host.chooseFile = [this](const std::string& title, const std::string& filter,
                             std::string* file) { return ChooseFile(title, filter, file); };
    host.findInstallPath = [] { return FindProductInstallPath(PRODUCT_KEY, PRODUCT_CLASS); };
    host.showMessageBox = [this](const std::string& text, const std::string& caption) {
        ShowMessageBox(text, caption);
    };
    host.upToDate = [this](const std::string& build) {
        m_upToDateBuild = build;
        Report(ReportLevel::kStep,
               "Velmor is up to date: build " + build + " is the newest this installer carries.");
    };
    return host;
}

void ConsoleFrontEnd::Cancel() {
    if (!m_cancelled.exchange(true))
        Report(ReportLevel::kStep, MSG_CANCELLING);
}

bool ConsoleFrontEnd::ShouldContinue() {
    // The session may notice the request first and end before the main thread looks.
    if (!m_cancelled && ZephUtil::ConsoleCloseRequested())
        Cancel();
    return !m_cancelled;
}

void ConsoleFrontEnd::SetGaugeRange(int range) {
    std::lock_guard lock(m_mutex);
    m_apply.SetRange(range);
    m_value = 0;
    Redraw();
}

void ConsoleFrontEnd::SetGaugeValue(int value) {
    std::lock_guard lock(m_mutex);
    // Once the applier counts its entries, the time-based guess has nothing to add.
    if (m_apply.Counting())
        return;
    m_value = value;
    Redraw();
}

void ConsoleFrontEnd::StartApplying(int total) {
    std::lock_guard lock(m_mutex);
    m_apply.Start(total);
    m_value = m_apply.Range() / 2;
    Redraw();
}

void ConsoleFrontEnd::EntryBegun() {
    std::lock_guard lock(m_mutex);
    m_value = m_apply.Step();
    Redraw();
}

void ConsoleFrontEnd::ShowDownloadProgress(const DownloadProgress* progress) {
    std::lock_guard lock(m_mutex);
    if (!progress && !m_downloading)
        return;
    m_downloading = progress != nullptr;
    if (progress) {
        m_downloadPercent = progress->total == 0 ? -1 : std::clamp(progress->percent, 0, 100);
        m_downloadText = DownloadText(*progress);
    }
    Redraw();
}

void ConsoleFrontEnd::Report(ReportLevel level, const std::string& utf8) {
    // A text's own line end ends its line; a lone line end (of a program's output that came
    // in two pieces) is no line of its own.
    std::string line = utf8;
    while (line.ends_with('\n') || line.ends_with('\r'))
        line.pop_back();
    if (line.empty() && !utf8.empty())
        return;
    std::lock_guard lock(m_mutex);
    // The session's log has every line; the terminal has level 0 only in debug mode.
    if (level == ReportLevel::kDetail && !m_debug)
        m_output.Note(line);
    else
        m_output.Line(line, level == ReportLevel::kError);
    Redraw();
}

std::string ConsoleFrontEnd::ProgressLine() const {
    if (m_downloading) {
        if (m_downloadPercent < 0)
            return m_downloadText;
        return Bar(m_downloadPercent, kBarWidthWithText) + "  " + m_downloadText;
    }
    const int range = m_apply.Range();
    if (range <= 0)
        return {};
    const int percent =
        static_cast<int>(static_cast<long long>(std::clamp(m_value, 0, range)) * 100 / range);
    const std::string text = m_apply.Text();
    return text.empty() ? Bar(percent, kBarWidth) : Bar(percent, kBarWidthWithText) + "  " + text;
}

void ConsoleFrontEnd::Redraw() {
    m_output.Progress(ProgressLine());
}

std::string ConsoleFrontEnd::AskLine(const std::string& prompt) {
    if (!IsTerminal(STDIN_FILENO))
        return {};  // nobody to ask: as if the user declined
    {
        std::lock_guard lock(m_mutex);
        m_output.Progress({});
        std::fputs(prompt.c_str(), stdout);
        std::fflush(stdout);
    }
    std::string line;
    if (!std::getline(std::cin, line))
        return {};
    return line;
}

bool ConsoleFrontEnd::AskYesNo(const std::string& question, const std::string& caption) {
    const std::string answer = AskLine(caption + ": " + question + " [y/N] ");
    return answer == "y" || answer == "Y" || answer == "yes";
}

void ConsoleFrontEnd::ShowMessageBox(const std::string& text, const std::string& caption) {
    Report(ReportLevel::kStep, "[" + caption + "] " + text);
}

// A file or the installation's folder; asked again for a name that is not there.
bool ConsoleFrontEnd::ChooseFile(const std::string& title, const std::string& filter,
                                 std::string* file) {
    for (;;) {
        *file = AskLine(title + " (" + filter + " or the installation's folder, empty to " +
                        "cancel): ");
        if (file->empty() || ZephUtil::FileExists(*file) || ZephUtil::IsDirectory(*file))
            return !file->empty();
        Report(ReportLevel::kStep, "There is no file or folder " + *file + ".");
    }
}

void ConsoleFrontEnd::ShowInstallPath(const std::string& path) {
    Report(ReportLevel::kDetail, "Installation: " + path);
}

void ConsoleFrontEnd::SessionFinished() {
    std::lock_guard lock(m_mutex);
    m_apply.SetRange(0);
    m_downloading = false;
    m_output.Progress({});
}

}  // namespace ZephPatch
