#include "session/patch_servers.h"

#include <fstream>

#include "session/patch_settings.h"

namespace ZephPatch {
namespace {

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool AddPatchServer(std::string_view value) {
    bool added = false;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string_view::npos)
            end = value.size();
        const std::string_view address = TrimBlanks(value.substr(start, end - start));
        if (!address.empty()) {
            GetPatchSettings().patchServers.emplace_back(address);
            added = true;
        }
        start = end + 1;
    }
    return added;
}

bool ReadPatchServerList(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        return false;
    bool added = false;
    std::string line;
    for (bool first = true; std::getline(file, line); first = false) {
        if (first && line.starts_with("\xEF\xBB\xBF"))
            line.erase(0, 3);  // editors' UTF-8 mark
        if (AddPatchServer(line))
            added = true;
    }
    return added;
}

}  // namespace ZephPatch
