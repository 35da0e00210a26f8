// The console installer's own options beside the installer's ten, and its help text.
#pragma once

#include <string>
#include <vector>

#include "app/core/command_line.h"

namespace ZephPatch {

struct ConsoleOptions {
    bool help = false;
    bool version = false;
    bool debug = false;
    std::string logPath;       // absolute; empty without --log
    std::string repairServer;  // "host" or "host:port"; empty without --repair-server
};

// --version, --log=FILE and --repair-server=HOST[:PORT].
[[nodiscard]] std::vector<CmdLineEntry> ConsoleOptionEntries();

// Reads the console's options from `arguments` (without the program name), checking the whole
// command line. False on a syntax error or a bad value, with the reason in `error`.
[[nodiscard]] bool ParseConsoleOptions(const std::vector<std::string>& arguments,
                                       ConsoleOptions* options, std::string* error);

// The usage, what the program does, and its exit statuses.
[[nodiscard]] std::string ConsoleHelpText();

}  // namespace ZephPatch
