#include "app/core/on_exit_program.h"

#include <cstdio>

#include "app/core/program_launch.h"
#include "kernel/messages/message_catalogue.h"

namespace ZephPatch {

void RunOnExitProgram(const ShellState& state) {
    if (!state.onExitGiven || state.onExitCommand.empty())
        return;
    LaunchedProgram program;
    const int error = LaunchCommandLine(state.onExitCommand, &program);
    if (error != 0) {
        std::printf("%s%d\n", LoadMessage(138).c_str(), error);
        std::fflush(stdout);
        return;
    }
    int exitCode = 0;
    // The program's outcome is its own; this only gives it a second.
    (void)program.Wait(1000, &exitCode);
}

}  // namespace ZephPatch
