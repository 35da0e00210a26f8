#pragma once

namespace ZephPack {

// The whole program: "zephpack diff OLD_TREE NEW_TREE PATCH_DIR". Prints one line on failure
// and returns the exit code (make_patch.h).
int RunZephPack(int argc, char** argv);

}  // namespace ZephPack
