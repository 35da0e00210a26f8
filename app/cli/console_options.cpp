#include "app/cli/console_options.h"

#include "app/cli/exit_status.h"
#include "app/core/patcher_options.h"
#include "app/core/program_folder.h"

namespace ZephPatch {
namespace {

constexpr char kProgram[] = "InstallPatchCLI";

constexpr char kDescription[] =
    "Brings the Velmor installation in target_directory (or the one the registry names) to\n"
    "the newest build: with the patches this installer carries, with those the patch servers\n"
    "offer (--server, --list), or by repairing it from the repair server (--repair). Ctrl+C\n"
    "stops it; a patch that was being applied is rolled back.\n";

std::vector<CmdLineEntry> FullTable() {
    std::vector<CmdLineEntry> table = PatcherOptionTable();
    for (CmdLineEntry& entry : ConsoleOptionEntries())
        table.push_back(std::move(entry));
    return table;
}

// "host" or "host:port" with a port from 1 to 65535; whether the name resolves is the
// repair's business.
bool IsServerForm(const std::string& server) {
    const size_t colon = server.find(':');
    const std::string host = server.substr(0, colon);
    if (host.empty() || host.find_first_of(" /") != std::string::npos)
        return false;
    if (colon == std::string::npos)
        return true;
    const std::string port = server.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int number = std::stoi(port);
    return number >= 1 && number <= 65535;
}

std::string Absolute(const std::string& path) {
    if (IsAbsolutePath(path))
        return path;
    const std::string folder = CurrentFolder();
    return folder.empty() ? path : folder + "/" + path;
}

}  // namespace

std::vector<CmdLineEntry> ConsoleOptionEntries() {
    using K = CmdLineKind;
    return {
        {K::kSwitch, "", "version", "print the version and exit", ""},
        {K::kOption, "", "log", "append the whole session, diagnostics included, to FILE", "FILE"},
        {K::kOption, "", "repair-server", "repair from this server instead of the registry's",
         "HOST[:PORT]"},
    };
}

bool ParseConsoleOptions(const std::vector<std::string>& arguments, ConsoleOptions* options,
                         std::string* error) {
    std::vector<std::string> repaired = arguments;
    RepairQuotedArguments(repaired);
    CmdLineParser parser(FullTable());
    if (!parser.Parse(repaired)) {
        *error = parser.Error();
        return false;
    }
    options->help = parser.Found("help");
    options->version = parser.Found("version");
    options->debug = parser.Found("debug");
    if (parser.Found("log", &options->logPath)) {
        if (options->logPath.empty()) {
            *error = "--log needs a file name";
            return false;
        }
        options->logPath = Absolute(options->logPath);
    }
    if (parser.Found("repair-server", &options->repairServer) &&
        !IsServerForm(options->repairServer)) {
        *error = "--repair-server takes HOST or HOST:PORT, not '" + options->repairServer + "'";
        return false;
    }
    return true;
}

std::string ConsoleHelpText() {
    return CmdLineParser(FullTable()).Usage(kProgram) + "\n" + kDescription + "\n" +
           kExitStatusHelp;
}

}  // namespace ZephPatch
