#include "apply/patch_list.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace ZephPatch {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

ListReadResult ReadPatchList(const std::string& file, std::vector<PatchListEntry>* entries) {
    entries->clear();
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return ListReadResult::kCannotOpen;
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (stream.bad())
        return ListReadResult::kCannotOpen;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.erase(0, 3);

    std::vector<std::string> lines = SplitLines(text);
    if (lines.size() % 3 != 0)
        return ListReadResult::kDamaged;
    entries->reserve(lines.size() / 3);
    for (size_t i = 0; i < lines.size(); i += 3) {
        entries->push_back({std::move(lines[i]), std::move(lines[i + 1]), std::move(lines[i + 2])});
    }
    return ListReadResult::kOk;
}

void MoveLastFileToEnd(std::vector<PatchListEntry>* entries, const std::string& lastFile) {
    if (lastFile.empty())
        return;
    auto it = std::find_if(entries->begin(), entries->end(), [&](const PatchListEntry& entry) {
        return entry.path.find(lastFile) != std::string::npos;
    });
    if (it != entries->end())
        std::rotate(it, it + 1, entries->end());
}

}  // namespace ZephPatch
