#include "app/core/patcher_options.h"

#include "kernel/files/file_utils.h"
#include "kernel/messages/message_catalogue.h"
#include "session/patch_servers.h"

namespace ZephPatch {

std::vector<CmdLineEntry> PatcherOptionTable() {
    using K = CmdLineKind;
    return {
        {K::kSwitch, "h", "help", LoadMessage(121), ""},
        {K::kSwitch, "a", "admin", LoadMessage(122), ""},
        {K::kParam, "c", "current", LoadMessage(123), "str"},
        {K::kOption, "l", "list", LoadMessage(124), "str"},
        {K::kOption, "s", "server", LoadMessage(125), "str"},
        {K::kOption, "f", "final", LoadMessage(126), "str"},
        {K::kParam, "t", "target", LoadMessage(127), "str"},
        {K::kSwitch, "r", "repair", LoadMessage(129), ""},
        {K::kOption, "o", "onexit", LoadMessage(130), "str"},
        {K::kSwitch, "d", "debug", "", ""},
    };
}

void RepairQuotedArguments(std::vector<std::string>& arguments) {
    for (std::string& argument : arguments)
        if (argument.ends_with("\\\""))
            argument.pop_back();
}

bool ParseCommandLine(ShellState& state, PatchSettings& settings, const ShellHooks& hooks) {
    std::vector<CmdLineEntry> table = PatcherOptionTable();
    table.insert(table.end(), state.frontEndOptions.begin(), state.frontEndOptions.end());
    CmdLineParser parser(std::move(table));
    const std::vector<std::string> given(
        state.arguments.empty() ? state.arguments.begin() : state.arguments.begin() + 1,
        state.arguments.end());
    const std::string program =
        state.arguments.empty() ? "InstallPatchGUI" : ZephUtil::FileNamePart(state.arguments[0]);
    if (!parser.Parse(given)) {
        hooks.showUsage(parser.Error() + "\n" + parser.Usage(program));
        return false;
    }
    if (parser.Found("help"))
        hooks.showUsage(parser.Usage(program));

    state.onExitGiven = parser.Found("onexit", &state.onExitCommand);
    state.debugMode = parser.Found("debug");
    settings.repairMode = parser.Found("repair");

    const std::vector<std::string>& params = parser.Params();
    if (params.empty())
        return false;
    if (params.size() == 2)
        AddInstalledBuild(settings, params[0]);
    settings.installPath = params.back();

    std::string value;
    if (parser.Found("server", &value) && !AddPatchServer(settings, value))
        hooks.report(ReportLevel::kError, LoadMessage(135) + value);
    if (parser.Found("list", &value) && !ReadPatchServerList(settings, value))
        hooks.report(ReportLevel::kError, LoadMessage(136) + value);
    state.adminGiven = parser.Found("admin");
    return true;
}

}  // namespace ZephPatch
