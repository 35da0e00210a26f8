// zephpack embed INSTALLER OUT --patch FROM TO ARCHIVE [--patch FROM TO ARCHIVE ...]
// zephpack list EXECUTABLE
// Each takes the arguments from its command word on (argv[0] is "embed" or "list") and
// returns the process exit status: 0 done, 1 failed, 2 usage error.
#pragma once

namespace ZephPack {

[[nodiscard]] int RunEmbedCommand(int argc, char** argv);
[[nodiscard]] int RunListCommand(int argc, char** argv);

}  // namespace ZephPack
