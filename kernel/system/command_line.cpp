#include "kernel/system/command_line.h"

namespace ZephUtil {

std::vector<std::string> SplitCommandLine(const std::string& text) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
            ++i;
            continue;
        }
        inArgument = true;
        if (c == '\\') {
            size_t end = text.find_first_not_of('\\', i);
            size_t count = (end == std::string::npos ? text.size() : end) - i;
            bool beforeQuote = end != std::string::npos && text[end] == '"';
            current.append(beforeQuote ? count / 2 : count, '\\');
            i += count;
            if (beforeQuote && count % 2 == 1) {
                current += '"';
                ++i;
            }
        } else if (c == '"') {
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
            ++i;
        } else {
            current += c;
            ++i;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

}  // namespace ZephUtil
