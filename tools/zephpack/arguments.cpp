#include "tools/zephpack/arguments.h"

namespace ZephPack {

bool ParseArguments(int argc, char** argv, const std::set<std::string>& valueOptions,
                    const std::set<std::string>& flagOptions, Arguments* arguments,
                    std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (!name.starts_with("--")) {
            arguments->positional.push_back(name);
            continue;
        }
        std::string value;
        const size_t equals = name.find('=');
        const bool inlineValue = equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (flagOptions.contains(name) && !inlineValue) {
            if (!arguments->flags.insert(name).second) {
                *error = name + " given twice";
                return false;
            }
            continue;
        }
        if (!valueOptions.contains(name)) {
            *error = "unknown option " + name;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 == argc) {
                *error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (!arguments->options.emplace(name, value).second) {
            *error = name + " given twice";
            return false;
        }
    }
    return true;
}

}  // namespace ZephPack
