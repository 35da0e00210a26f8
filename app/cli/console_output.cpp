#include "app/cli/console_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/cli/console_streams.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"

namespace ZephPatch {
namespace {

void Write(int fd, const std::string& text) {
    // The log's writer ignores failures the same way: output is best effort.
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += static_cast<size_t>(written);
    }
}

std::string WithLineEnd(const std::string& text) {
    return text.ends_with('\n') ? text : text + "\n";
}

}  // namespace

ConsoleOutput::ConsoleOutput()
    : m_terminal(IsTerminal(STDOUT_FILENO)),
      m_errorsApart(!SameFile(STDOUT_FILENO, STDERR_FILENO)) {
    PrepareConsole();
}

ConsoleOutput::~ConsoleOutput() {
    ZephUtil::RouteConsoleLines(true, -1);
}

bool ConsoleOutput::OpenLog(const std::string& path, const std::string& firstLine,
                            std::string* error) {
    const int fd = ZephUtil::OpenFile(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        *error = "cannot write the log " + path + ": " + std::strerror(errno);
        return false;
    }
    m_log.Reset(fd);
    m_logPath = path;
    Write(m_log.Get(), firstLine + "\n");
    return true;
}

void ConsoleOutput::RouteDiagnostics(bool debug) {
    // A parent's FIFO takes every line whatever is set here. A session log is the place for
    // them otherwise; without one, only a terminal is spared them.
    ZephUtil::RouteConsoleLines(debug || (!m_terminal && !m_log.IsOpen()), m_log.Get());
}

void ConsoleOutput::Line(const std::string& text, bool error) {
    WipeProgress();
    const std::string line = WithLineEnd(text);
    Write(STDOUT_FILENO, line);
    if (error && m_errorsApart)
        Write(STDERR_FILENO, line);
    Note(text);
}

void ConsoleOutput::Note(const std::string& text) {
    if (!m_log.IsOpen())
        return;
    // Under the log's lock, so that the log keeps the order of lines and diagnostics.
    ZephUtil::LockLog();
    Write(m_log.Get(), WithLineEnd(text));
    ZephUtil::UnlockLog();
}

void ConsoleOutput::Progress(const std::string& text) {
    if (!m_terminal)
        return;
    if (text.empty()) {
        WipeProgress();
        return;
    }
    // A line longer than the terminal would wrap, and the carriage return would then only
    // reach back to its last row.
    std::string shown = text;
    if (const size_t columns = TerminalColumns(); shown.size() >= columns)
        shown.resize(columns - 1);
    if (m_progressShown && shown == m_shownProgress)
        return;
    Write(STDOUT_FILENO, "\r" + shown + "\033[K");
    m_progressShown = true;
    m_shownProgress = shown;
}

void ConsoleOutput::WipeProgress() {
    if (!m_progressShown)
        return;
    Write(STDOUT_FILENO, "\r\033[K");
    m_progressShown = false;
}

}  // namespace ZephPatch
