// The arguments of one zephpack command: positional ones, and options written "--name value"
// or "--name=value" (flags take no value).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ZephPack {

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;  // by name, with the dashes
    std::set<std::string> flags;
};

// Reads argv[1] on (argv[0] is the command word). False with the reason in `error` for an
// unknown option, an option without its value, or one given twice.
[[nodiscard]] bool ParseArguments(int argc, char** argv, const std::set<std::string>& valueOptions,
                                  const std::set<std::string>& flagOptions, Arguments* arguments,
                                  std::string* error);

}  // namespace ZephPack
