#include "session/patch_servers.h"

#include <algorithm>

#include "kernel/files/file_utils.h"
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

bool AddPatchServer(PatchSettings& settings, std::string_view value) {
    bool added = false;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string_view::npos)
            end = value.size();
        const std::string_view address = TrimBlanks(value.substr(start, end - start));
        if (!address.empty()) {
            settings.patchServers.emplace_back(address);
            added = true;
        }
        start = end + 1;
    }
    return added;
}

bool ReadPatchServerList(PatchSettings& settings, const std::string& fileName) {
    std::string text;
    if (ZephUtil::ReadFileCapped(fileName, kMaxServerListBytes, &text) != ZephUtil::CappedRead::kOk)
        return false;
    std::string_view rest = text;
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);  // editors' UTF-8 mark
    bool added = false;
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        if (AddPatchServer(settings, rest.substr(0, end)))
            added = true;
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return added;
}

}  // namespace ZephPatch
