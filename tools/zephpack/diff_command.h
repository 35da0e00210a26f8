#pragma once

namespace ZephPack {

// "zephpack diff OLD_TREE NEW_TREE PATCH_DIR" (argv[0] is "diff"). Prints one line on failure
// and returns the exit code (make_patch.h).
[[nodiscard]] int RunDiffCommand(int argc, char** argv);

}  // namespace ZephPack
