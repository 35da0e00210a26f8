// The external programs that rebuild a changed file from its old version and a difference
// file: the patch tool, and for asset files the asset converter. Both live in the
// installation's bin folder and run there.
#pragma once

#include <string>
#include <vector>

namespace ZephPatch {

inline constexpr const char* kPatchToolName = "orbpatchl-w32.exe";
inline constexpr const char* kConverterName = "OrbAConverter.exe";

struct ToolCommand {
    std::string program;  // full path
    std::vector<std::string> arguments;
    std::string commandLine;  // the same, quoted, as messages show it
};

// "<bin>orbpatchl-w32.exe" "<old>" "<difference>" "<output>"
[[nodiscard]] ToolCommand PatchToolCommand(const std::string& binFolder, const std::string& oldFile,
                                           const std::string& differenceFile,
                                           const std::string& outputFile);
// "<bin>OrbAConverter.exe" patchapply "<old>" "<difference>" "<output>"
[[nodiscard]] ToolCommand ConverterCommand(const std::string& binFolder, const std::string& oldFile,
                                           const std::string& differenceFile,
                                           const std::string& outputFile);

// Runs the command in `workingDirectory` and waits for it without a time limit, passing its
// output on to the diagnostic log; the tool is killed when the calling thread ends first
// (a killed installer). False when it cannot be started; otherwise its exit code (128 + the
// signal for a killed one) is in `exitCode`.
[[nodiscard]] bool RunTool(const ToolCommand& command, const std::string& workingDirectory,
                           int* exitCode);

// The user message for a tool's non-zero exit code; `relative` is the entry's path.
[[nodiscard]] std::string ToolExitMessage(int exitCode, bool converter,
                                          const std::string& relative);

}  // namespace ZephPatch
