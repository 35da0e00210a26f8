// zephpack's help: the whole of it, and each command's own. Plain "usage / commands /
// options" text, from which the manual page is made too.
#pragma once

#include <string_view>

namespace ZephPack {

extern const char kMainHelp[];

// The help of one command, or null when there is no such command.
[[nodiscard]] const char* CommandHelp(std::string_view command);

}  // namespace ZephPack
