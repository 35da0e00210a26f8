#include "app/cli/console_front_end.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/core/product_install_path.h"
#include "kernel/crash.h"
#include "kernel/message_catalogue.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

constexpr int kErrorLevel = 3;
constexpr int kBarWidth = 40;
// Narrower while a status text follows, so that the line fits a usual terminal.
constexpr int kBarWidthWithStatus = 20;
constexpr char kTextDownloaded[] = "Downloaded %s kB";

// Columns of the terminal on standard output; 80 when it cannot tell.
size_t TerminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

std::string DownloadedText(uint64_t bytes) {
    std::string text = kTextDownloaded;
    text.replace(text.find("%s"), 2, std::to_string(bytes >> 10));
    return text;
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd() : m_terminal(isatty(STDOUT_FILENO) == 1) {}

ShellHooks ConsoleFrontEnd::MakeShellHooks() {
    ShellHooks hooks;
    hooks.messageBox = [this](const std::string& text, const std::string& caption) {
        ShowMessageBox(text, caption);
    };
    hooks.report = [this](int level, const std::string& text) { Report(level, text); };
    hooks.showUsage = [this](const std::string& text) {
        std::lock_guard lock(m_mutex);
        ClearBar();
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    };
    return hooks;
}

EmbeddedCheckHost ConsoleFrontEnd::MakeCheckHost() {
    EmbeddedCheckHost host;
    host.report = [this](int level, const std::string& text) { Report(level, text); };
    host.chooseFile = [this](const std::string& title, const std::string& filter,
                             std::string* file) { return ChooseFile(title, filter, file); };
    host.findInstallPath = [] { return FindProductInstallPath(PRODUCT_KEY, PRODUCT_CLASS); };
    host.showMessageBox = [this](const std::string& text, const std::string& caption) {
        ShowMessageBox(text, caption);
    };
    return host;
}

void ConsoleFrontEnd::Cancel() {
    if (!m_cancelled.exchange(true))
        Report(1, MSG_CANCELLING);
}

bool ConsoleFrontEnd::IsCancelled() {
    // The session may notice the request first and end before the main thread looks.
    if (!m_cancelled && ZephUtil::ConsoleCloseRequested())
        Cancel();
    return m_cancelled;
}

// The session moves the gauge or reports a line only once the download is over (or has
// failed): the progress line is its own again.
void ConsoleFrontEnd::SetGaugeRange(int range) {
    std::lock_guard lock(m_mutex);
    DropStatus();
    m_range = range;
    DrawBar();
}

void ConsoleFrontEnd::SetGaugeValue(int value) {
    std::lock_guard lock(m_mutex);
    DropStatus();
    m_value = value;
    DrawBar();
}

void ConsoleFrontEnd::DropStatus() {
    if (m_status.empty())
        return;
    m_status.clear();
    m_statusOnly = false;
    m_range = 0;  // no bar until the session sets the gauge again
}

void ConsoleFrontEnd::ShowDownloadProgress(const DownloadProgress* progress) {
    std::lock_guard lock(m_mutex);
    if (!progress) {
        if (m_status.empty())
            return;
        DropStatus();
        ClearBar();
        return;
    }
    m_statusOnly = progress->total == 0;
    m_status = m_statusOnly ? DownloadedText(progress->received) : RemainingTimeText(*progress);
    m_range = 100;
    m_value = progress->percent;
    DrawBar();
}

void ConsoleFrontEnd::Report(int level, const std::string& utf8) {
    if (level == 0 && !m_debug)
        return;
    std::lock_guard lock(m_mutex);
    DropStatus();
    WriteLine(level, utf8);
}

void ConsoleFrontEnd::WriteLine(int level, const std::string& text) {
    ClearBar();
    // A text ending in a line feed already ends its line.
    const char* end = text.ends_with('\n') ? "" : "\n";
    std::fprintf(stdout, "%s%s", text.c_str(), end);
    std::fflush(stdout);
    if (level == kErrorLevel)
        std::fprintf(stderr, "%s%s", text.c_str(), end);
    DrawBar();
}

// The bar lives on the terminal's last line; a message line first wipes it.
void ConsoleFrontEnd::ClearBar() {
    if (!m_barShown)
        return;
    std::fputs("\r\033[K", stdout);
    m_barShown = false;
    m_shownPercent = -1;
}

void ConsoleFrontEnd::DrawBar() {
    if (!m_terminal || m_range <= 0)
        return;
    const long long clamped = std::min<long long>(std::max(m_value, 0), m_range);
    const int percent = static_cast<int>(clamped * 100 / m_range);
    if (m_barShown && percent == m_shownPercent && m_status == m_shownStatus)
        return;
    std::string line;
    if (!m_statusOnly) {
        const int width = m_status.empty() ? kBarWidth : kBarWidthWithStatus;
        const int filled = percent * width / 100;
        line = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] " +
               std::to_string(percent) + "%";
        if (!m_status.empty())
            line += "  ";
    }
    line += m_status;
    // A line longer than the terminal would wrap, and the carriage return would then only
    // reach back to its last row.
    const size_t columns = TerminalColumns();
    if (line.size() >= columns)
        line.resize(columns - 1);
    std::fputs(("\r" + line + "\033[K").c_str(), stdout);
    std::fflush(stdout);
    m_barShown = true;
    m_shownPercent = percent;
    m_shownStatus = m_status;
}

std::string ConsoleFrontEnd::AskLine(const std::string& prompt) {
    if (isatty(STDIN_FILENO) != 1)
        return {};  // nobody to ask: as if the user declined
    {
        std::lock_guard lock(m_mutex);
        ClearBar();
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
    std::lock_guard lock(m_mutex);
    WriteLine(1, "[" + caption + "] " + text);
}

bool ConsoleFrontEnd::ChooseFile(const std::string& title, const std::string& filter,
                                 std::string* file) {
    *file = AskLine(title + " (" + filter + ", empty to cancel): ");
    return !file->empty();
}

void ConsoleFrontEnd::ShowInstallPath(const std::string& path) {
    Report(0, "Installation: " + path);
}

void ConsoleFrontEnd::SessionFinished() {
    std::lock_guard lock(m_mutex);
    ClearBar();
    m_range = 0;
}

}  // namespace ZephPatch
