#pragma once

namespace ZephPack {

// The whole program: "zephpack COMMAND ARGUMENTS..." with the commands diff, archive, unpack,
// embed and list. Prints the usage for an unknown command and returns the exit code.
int RunZephPack(int argc, char** argv);

}  // namespace ZephPack
