#include "apply/messages.h"

#include <cstdio>

namespace ZephPatch {
namespace {

template <typename... Args>
std::string Printf(const std::string& format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format.c_str(), args...);
    if (length <= 0)
        return {};
    std::string out(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(out.data(), out.size(), format.c_str(), args...);
    out.resize(static_cast<size_t>(length));
    return out;
}

}  // namespace

std::string FormatMessage(const FixedText& text, const std::string& name) {
    return Printf(MessageText(text), name.c_str());
}

std::string FormatMessage(const FixedText& text, int code, const std::string& name) {
    return Printf(MessageText(text), code, name.c_str());
}

}  // namespace ZephPatch
