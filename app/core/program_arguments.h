// The arguments this program was started with, as UTF-8. Implemented in
// program_arguments_posix.cpp and program_arguments_windows.cpp.
#pragma once

#include <string>
#include <vector>

namespace ZephPatch {

// The first is the program. On Windows they come from the wide command line, since `argv`
// holds them in the ANSI code page, which loses every character outside it; elsewhere they
// are `argv` as given.
[[nodiscard]] std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace ZephPatch
