// InstallPatchCLI: the patch installer on a console. The same options and start-up as the
// window, and a few of its own (--version, --log, --repair-server); the session starts at once
// in every mode, the first Ctrl+C cancels it as a confirmed cancel in the window does, and the
// exit status tells how it ended (see --help).
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/console_front_end.h"
#include "app/cli/console_options.h"
#include "app/cli/console_output.h"
#include "app/cli/exit_status.h"
#include "app/cli/failure_hint.h"
#include "app/core/on_exit_program.h"
#include "app/core/program_arguments.h"
#include "app/core/startup.h"
#include "kernel/crash/crash.h"
#include "kernel/system/version.h"
#include "kernel/threads/thread.h"
#include "package/embedded_patch_container.h"
#include "repair/repair_driver.h"
#include "session/embedded_patch_check.h"
#include "session/patch_thread.h"
#include "session/product_registry.h"

namespace {

using namespace ZephPatch;

constexpr char kProgram[] = "InstallPatchCLI";
constexpr int kCancelPollMilliseconds = 100;
// The download's progress line is refreshed every fifth poll, twice a second.
constexpr int kPollsPerProgressQuery = 5;

// The first line of a session in the log: what ran, when, with which arguments.
std::string LogHeader(const std::vector<std::string>& arguments) {
    char when[32] = "";
    const std::time_t now = std::time(nullptr);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    std::string line = "=== " + ZephUtil::VersionLine(kProgram) + ", " + when + ":";
    for (size_t i = 1; i < arguments.size(); ++i)
        line += " " + arguments[i];
    return line;
}

// Runs the session to its end; the first console close request cancels it.
SessionOutcome RunSession(ConsoleFrontEnd& console, PatchSettings& settings,
                          EmbeddedPatchContainer& container, AssetDatabaseAttachment& database,
                          const std::string& repairServer) {
    SessionEnvironment environment;
    environment.repairServer = repairServer;
    PatchThread session(console, settings, container, database, environment);
    if (!session.Start())
        return SessionOutcome::kFailed;
    for (int polls = 1; session.IsRunning(); ++polls) {
        if (ZephUtil::ConsoleCloseRequested())
            console.Cancel();
        if (polls % kPollsPerProgressQuery == 0) {
            DownloadProgress progress;
            console.ShowDownloadProgress(session.QueryDownloadProgress(&progress) ? &progress
                                                                                  : nullptr);
        }
        session.Wait(kCancelPollMilliseconds);  // back at once when the session ends
    }
    session.Join();
    return session.Outcome();
}

// No session: the installation is up to date, or nothing fits it, or nothing was asked.
int EndWithoutSession(ConsoleFrontEnd& console, EmbeddedCheckResult check) {
    if (check == EmbeddedCheckResult::kUpToDate)
        return kExitCompleted;
    console.Report(ReportLevel::kError, MSG_NO_VALID_OPERATION);
    switch (check) {
        case EmbeddedCheckResult::kNoContainer:
            console.Report(ReportLevel::kStep,
                           std::string("Hint: this installer carries no patches; give a patch "
                                       "server (--server=URL, --list=FILE) or --repair. See ") +
                               kProgram + " --help.");
            return kExitUsage;
        case EmbeddedCheckResult::kUnreadable:
        case EmbeddedCheckResult::kStuck:
            return kExitFailed;
        case EmbeddedCheckResult::kInUse:
            return kExitNoAccess;
        default:
            return kExitNotApplicable;
    }
}

HintFacts FactsOf(const PatchSettings& settings, const ConsoleOptions& options,
                  const ConsoleOutput& output) {
    HintFacts facts;
    facts.installPath = settings.installPath;
    facts.patchServers = settings.patchServers;
    facts.repairMode = settings.repairMode;
    facts.repairServer = options.repairServer;
    if (facts.repairServer.empty())
        facts.repairServer = RepairServerOverride(PATCHING_FLAG_KEY);
    if (facts.repairServer.empty())
        facts.repairServer = kDefaultRepairServer;
    facts.logPath = output.LogPath();
    facts.debug = options.debug;
    return facts;
}

int RunInstaller(const std::vector<std::string>& arguments) {
    ConsoleOptions options;
    std::string error;
    if (!ParseConsoleOptions(std::vector<std::string>(arguments.begin() + 1, arguments.end()),
                             &options, &error)) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more.\n", kProgram, error.c_str(),
                     kProgram);
        return kExitUsage;
    }
    if (options.help || options.version) {
        const std::string text =
            options.help ? ConsoleHelpText() : ZephUtil::VersionLine(kProgram) + "\n";
        std::fputs(text.c_str(), stdout);
        return kExitCompleted;
    }
    ConsoleOutput output;
    if (!options.logPath.empty() &&
        !output.OpenLog(options.logPath, LogHeader(arguments), &error)) {
        std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        return kExitUsage;
    }
    output.RouteDiagnostics(options.debug);
    ConsoleFrontEnd console(output);
    console.SetDebugMode(options.debug);

    ShellState state;
    state.frontEndOptions = ConsoleOptionEntries();
    if (!options.logPath.empty())
        state.relaunchArguments.push_back("--log=" + options.logPath);
    if (!options.repairServer.empty())
        state.relaunchArguments.push_back("--repair-server=" + options.repairServer);
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    std::optional<PatchSettings> settings = RunShellStartup(
        static_cast<int>(argv.size()), argv.data(), &state, console.MakeShellHooks());
    if (!settings)
        return state.elevatedExitCode >= 0 ? state.elevatedExitCode : kExitNoAccess;

    static EmbeddedPatchContainer container;
    // An exclusive hold on the asset database that a failed session leaves lasts to our end,
    // past the on-exit program.
    AssetDatabaseAttachment database;
    const EmbeddedCheckResult check = CheckEmbeddedPatches(
        container, *settings, state.executablePath, false, console.MakeCheckHost());
    int status = kExitCompleted;
    if (ChooseRunMode(*settings) == RunMode::kNone) {
        status = EndWithoutSession(console, check);
    } else {
        const SessionOutcome outcome =
            RunSession(console, *settings, container, database, options.repairServer);
        status = ExitStatusOf(outcome, ZephUtil::ConsoleCloseSignal());
        if (const std::string hint = FailureHint(outcome, FactsOf(*settings, options, output));
            !hint.empty())
            console.Report(ReportLevel::kStep, hint);
    }
    RunOnExitProgram(state);
    if (!output.LogPath().empty())
        console.Report(ReportLevel::kStep, "Session log: " + output.LogPath());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    ZephUtil::InstallCrashHandlers(false);
    std::vector<std::string> arguments = ProgramArguments(argc, argv);
    if (arguments.empty())
        arguments.push_back(kProgram);
    const int exitCode = RunInstaller(arguments);
    ZephUtil::DisarmCrashHandlers();
    return exitCode;
}
