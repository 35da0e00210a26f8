#include "apply/patch_list.h"

#include <algorithm>

#include "apply/messages.h"
#include "kernel/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {
namespace {

// Calls `line` for each line of `text` (split at CR LF, LF or CR; a final line end makes no
// empty line) until it returns false; false then.
template <typename LineFunction>
bool ForEachLine(std::string_view text, LineFunction line) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            return line(text.substr(start));
        if (!line(text.substr(start, end - start)))
            return false;
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return true;
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    ForEachLine(text, [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    });
    return lines;
}

ListReadResult ReadPatchList(const std::string& file, std::vector<PatchListEntry>* entries) {
    entries->clear();
    std::string text;
    switch (ZephUtil::ReadFileCapped(file, kMaxPatchListBytes, &text)) {
        case ZephUtil::CappedRead::kOk:
            break;
        case ZephUtil::CappedRead::kCannotRead:
            return ListReadResult::kCannotOpen;
        case ZephUtil::CappedRead::kTooLarge:
            return ListReadResult::kTooLarge;
    }
    std::string_view rest = text;
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);

    // Entries are built as the lines go by: a list of empty lines costs nothing per line.
    PatchListEntry entry;
    int field = 0;
    const bool withinCap = ForEachLine(rest, [&](std::string_view line) {
        std::string* const fields[] = {&entry.path, &entry.checksumAfter, &entry.checksumBefore};
        fields[field]->assign(line);
        if (++field < 3)
            return true;
        field = 0;
        if (entries->size() == kMaxPatchListEntries)
            return false;
        entries->push_back(std::move(entry));
        return true;
    });
    ListReadResult result = ListReadResult::kOk;
    if (!withinCap)
        result = ListReadResult::kTooLarge;
    else if (field != 0)
        result = ListReadResult::kDamaged;
    if (result != ListReadResult::kOk) {
        entries->clear();
        entries->shrink_to_fit();
    }
    return result;
}

bool ReadPatchListOrReport(const std::string& file, std::vector<PatchListEntry>* entries,
                           Reporter& reporter) {
    switch (ReadPatchList(file, entries)) {
        case ListReadResult::kOk:
            return true;
        case ListReadResult::kCannotOpen:
            Report(reporter, ReportLevel::kError, [&] {
                return MessageText(kTextCouldNotOpen) + file +
                       MessageText(kTextForReadingMightNotBePresent);
            });
            return false;
        case ListReadResult::kDamaged:
            Report(reporter, ReportLevel::kError,
                   [&] { return MessageText(kTextListDamaged) + file; });
            return false;
        case ListReadResult::kTooLarge:
            Report(reporter, ReportLevel::kError,
                   [&] { return MessageText(kTextListTooLarge) + file; });
            return false;
    }
    return false;
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
