#include "app/core/program_arguments.h"

namespace ZephPatch {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

}  // namespace ZephPatch
