// What the application shell knows about this run besides PatchSettings, and the calls by which
// it reaches its front end (window or console) before a session exists.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/core/command_line.h"
#include "kernel/reporter.h"

namespace ZephPatch {

struct ShellState {
    // The arguments as started (first: the program), after the quoted-argument repair.
    std::vector<std::string> arguments;
    // Absolute path of this program's executable.
    std::string executablePath;
    // The `onexit` option: its text, and whether it was given.
    std::string onExitCommand;
    bool onExitGiven = false;
    // The `admin` switch: rights are tested, never escalated.
    bool adminGiven = false;
    // The `debug` switch: level 0 messages are shown.
    bool debugMode = false;
    // Exit code of the elevated copy once a relaunch ran one to its end; -1 otherwise.
    int elevatedExitCode = -1;
    // Options of the front end beyond the installer's own, accepted by the command line.
    std::vector<CmdLineEntry> frontEndOptions;
    // Arguments of the front end's own that an elevated copy must receive too.
    std::vector<std::string> relaunchArguments;
};

// Implemented by each front end; called on the main thread only.
struct ShellHooks {
    // A message box with `text` and `caption`; returns once the user has seen it.
    std::function<void(const std::string& text, const std::string& caption)> messageBox;
    // One user-visible line, also before the main window exists.
    std::function<void(ReportLevel level, const std::string& text)> report;
    // The usage text (for `help`, and after a syntax error preceded by the error).
    std::function<void(const std::string& text)> showUsage;
    // The program that starts the elevated copy. Empty: "pkexec" from PATH, and only when this
    // process is not root (root has nothing to gain). Tests name a program of their own.
    std::string elevationProgram;
};

}  // namespace ZephPatch
