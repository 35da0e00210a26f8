#include "apply/patch_tool.h"

#include "apply/messages.h"
#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"
#include "kernel/threads/child_process.h"

namespace ZephPatch {
namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The program, an optional bare verb, then the three files, each quoted.
ToolCommand MakeCommand(const std::string& program, const std::string& verb,
                        const std::vector<std::string>& files) {
    ToolCommand command{program, {}, Quoted(program)};
    if (!verb.empty()) {
        command.arguments.push_back(verb);
        command.commandLine += " " + verb;
    }
    for (const std::string& file : files) {
        command.arguments.push_back(file);
        command.commandLine += " " + Quoted(file);
    }
    return command;
}

}  // namespace

ToolCommand PatchToolCommand(const std::string& binFolder, const std::string& oldFile,
                             const std::string& differenceFile, const std::string& outputFile) {
    return MakeCommand(binFolder + kPatchToolName, "", {oldFile, differenceFile, outputFile});
}

ToolCommand ConverterCommand(const std::string& binFolder, const std::string& oldFile,
                             const std::string& differenceFile, const std::string& outputFile) {
    return MakeCommand(binFolder + kConverterName, "patchapply",
                       {oldFile, differenceFile, outputFile});
}

bool RunTool(const ToolCommand& command, const std::string& workingDirectory, int* exitCode) {
    ZephUtil::ChildOptions options;
    options.workingDirectory = workingDirectory;
    // A tool outliving a killed installer would write its output after the next run has
    // put the old file back.
    options.endWithStarter = true;
    auto child = ZephUtil::StartChildProcessArgv(command.program, command.arguments, options);
    if (!child)
        return false;
    // The pipe is drained to its end, so that a talkative tool never blocks on it.
    std::string output;
    while (ZephUtil::ReadChildOutput(*child, output)) {
    }
    ZephUtil::WaitChildProcess(*child, -1);
    *exitCode = ZephUtil::ChildExitCode(*child);
    ZephUtil::CloseChildProcess(*child);
    if (!output.empty())
        ZephUtil::Print("RunTool> %s", output.c_str());
    return true;
}

std::string ToolExitMessage(int exitCode, bool converter, const std::string& relative) {
    switch (exitCode) {
        case 0:
            return {};
        case 1:
            return converter ? FormatMessage(kTextConverterMismatch, relative)
                             : MessageText(kTextNotEnoughArguments);
        case 2:
            return FormatMessage(kTextCouldNotOpenData, relative);
        case 3:
            return FormatMessage(kTextCouldNotOpenPatch, relative);
        case 4:
            return MessageText(kTextCouldNotOpenOutput);
        default:
            return FormatMessage(kTextUnknownError, exitCode, relative);
    }
}

}  // namespace ZephPatch
