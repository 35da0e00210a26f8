// zephpack archive PATCH_DIR ARCHIVE [--format 1|2]
// zephpack unpack ARCHIVE DIR
// Each takes the arguments from its command word on (argv[0] is "archive" or "unpack") and
// returns the process exit status: 0 done, 1 failed, 2 usage error.
#pragma once

namespace ZephPack {

[[nodiscard]] int RunArchiveCommand(int argc, char** argv);
[[nodiscard]] int RunUnpackCommand(int argc, char** argv);

}  // namespace ZephPack
