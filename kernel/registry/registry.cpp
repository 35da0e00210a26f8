// The typed queries, the same over every kind of registry.
#include "kernel/registry/registry.h"

#include <charconv>

namespace ZephUtil {

bool RegistryKey::QueryString(std::string_view name, std::string* text) const {
    RegType type;
    std::string data;
    if (!QueryValue(name, &type, &data) || type != RegType::kString)
        return false;
    *text = std::move(data);
    return true;
}

bool RegistryKey::QueryDword(std::string_view name, uint32_t* number) const {
    RegType type;
    std::string data;
    if (!QueryValue(name, &type, &data) || type != RegType::kDword)
        return false;
    return std::from_chars(data.data(), data.data() + data.size(), *number).ec == std::errc();
}

}  // namespace ZephUtil
