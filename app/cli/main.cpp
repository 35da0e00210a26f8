// InstallPatchCLI: the patch installer on a console. The same options and start-up as the
// window; the session starts at once in every mode, and the first Ctrl+C cancels it as a
// confirmed cancel in the window does.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/console_front_end.h"
#include "app/core/command_line.h"
#include "app/core/on_exit_program.h"
#include "app/core/patcher_options.h"
#include "app/core/startup.h"
#include "apply/callbacks.h"
#include "kernel/crash.h"
#include "kernel/message_catalogue.h"
#include "kernel/thread.h"
#include "session/embedded_patch_check.h"
#include "session/embedded_patch_container.h"
#include "session/patch_thread.h"

namespace {

using ZephPatch::ConsoleFrontEnd;

constexpr int kExitCompleted = 0;
constexpr int kExitAborted = 1;
constexpr int kExitUsage = 2;
constexpr int kCancelPollMilliseconds = 100;
// The download's progress line is refreshed every fifth poll, twice a second.
constexpr int kPollsPerProgressQuery = 5;

// The process-wide callbacks of the applier reach the one console.
ConsoleFrontEnd* g_console = nullptr;

bool ConsoleShouldContinue() {
    return !g_console->IsCancelled();
}

void ConsoleMessageSink(int level, const std::string& text) {
    g_console->Report(level, text);
}

// A command line the parser refuses ends the run before anything else happens.
bool CheckSyntax(int argc, char** argv, ConsoleFrontEnd& console) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    ZephPatch::RepairQuotedArguments(arguments);
    ZephPatch::CmdLineParser parser(ZephPatch::PatcherOptionTable());
    if (parser.Parse(arguments)) {
        // Known before the start-up reports anything.
        console.SetDebugMode(parser.Found("debug"));
        return true;
    }
    std::fprintf(stderr, "%s\n%s", parser.Error().c_str(), parser.Usage("InstallPatchCLI").c_str());
    return false;
}

// Runs the session to its end; the first console close request cancels it.
bool RunSession(ConsoleFrontEnd& console, ZephPatch::EmbeddedPatchContainer& container) {
    ZephPatch::PatchThread session(console, container);
    if (!session.Start())
        return false;
    for (int polls = 1; session.IsRunning(); ++polls) {
        if (ZephUtil::ConsoleCloseRequested())
            console.Cancel();
        if (polls % kPollsPerProgressQuery == 0) {
            ZephPatch::DownloadProgress progress;
            console.ShowDownloadProgress(session.QueryDownloadProgress(&progress) ? &progress
                                                                                  : nullptr);
        }
        session.Wait(kCancelPollMilliseconds);  // back at once when the session ends
    }
    session.Join();
    return session.Completed();
}

int RunInstaller(int argc, char** argv) {
    ConsoleFrontEnd console;
    g_console = &console;
    if (!CheckSyntax(argc, argv, console))
        return kExitUsage;
    ZephPatch::ShellState state;
    const ZephPatch::ShellHooks hooks = console.MakeShellHooks();
    if (!ZephPatch::RunShellStartup(argc, argv, &state, hooks))
        return state.elevatedExitCode >= 0 ? state.elevatedExitCode : kExitAborted;
    console.SetDebugMode(state.debugMode);
    ZephPatch::SetCallbacks(nullptr, ConsoleShouldContinue, ConsoleMessageSink);

    static ZephPatch::EmbeddedPatchContainer container;
    ZephPatch::CheckEmbeddedPatches(container, state.executablePath, false,
                                    console.MakeCheckHost());
    int exitCode = kExitAborted;
    if (ZephPatch::ChooseRunMode(ZephPatch::GetPatchSettings()) == ZephPatch::RunMode::kNone)
        console.Report(3, ZephPatch::MSG_NO_VALID_OPERATION);
    else if (RunSession(console, container))
        exitCode = kExitCompleted;
    ZephPatch::RunOnExitProgram(state);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    ZephUtil::InstallCrashHandlers(false);
    const int exitCode = RunInstaller(argc, argv);
    ZephUtil::DisarmCrashHandlers();
    return exitCode;
}
