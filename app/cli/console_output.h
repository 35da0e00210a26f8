// Where the console installer's output goes. The user's lines go to standard output once
// (error lines also to standard error when that is another file), the progress line only to a
// terminal. The diagnostic lines of the system log reach standard output in debug mode, or
// when it is no terminal and there is no session log. A session log, when asked for, receives
// all of it.
#pragma once

#include <string>

#include "kernel/files/unique_fd.h"

namespace ZephPatch {

class ConsoleOutput {
public:
    ConsoleOutput();
    // Takes the diagnostics back to standard output alone and closes the log.
    ~ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Appends this session to the log at `path` (created when missing), starting with a line
    // that names the program, the time and the arguments. False, with the reason, when it
    // cannot be opened.
    [[nodiscard]] bool OpenLog(const std::string& path, const std::string& firstLine,
                               std::string* error);
    [[nodiscard]] const std::string& LogPath() const { return m_logPath; }
    // Decides where the diagnostics go; call again when debug mode changes.
    void RouteDiagnostics(bool debug);

    [[nodiscard]] bool Terminal() const { return m_terminal; }
    // One user line (a final line feed is added when missing); `error` also sends it to
    // standard error. The progress line, if shown, is wiped first and not redrawn.
    void Line(const std::string& text, bool error);
    // A line for the session log alone (a detail the terminal does not show).
    void Note(const std::string& text);
    // Shows `text` as the progress line on a terminal (replacing the last one); empty wipes it.
    void Progress(const std::string& text);

private:
    void WipeProgress();

    const bool m_terminal;
    // Standard error is another file than standard output (so errors are not shown twice).
    const bool m_errorsApart;
    ZephUtil::UniqueFd m_log;
    std::string m_logPath;
    bool m_progressShown = false;
    std::string m_shownProgress;
};

}  // namespace ZephPatch
