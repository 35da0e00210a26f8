#include <cwchar>

#include "kernel/system/windows_support.h"
#include "repair/folder_listing.h"

namespace ZephPatch {
namespace {

// FILETIME counts 100 ns steps from 1601.
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;

int64_t UnixSeconds(const FILETIME& time) {
    const int64_t ticks =
        static_cast<int64_t>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
    return (ticks - kTicksFrom1601To1970) / kTicksPerSecond;
}

// The listing itself carries each entry's kind, size and time: no call per entry.
ListedEntry EntryOf(const WIN32_FIND_DATAW& found) {
    ListedEntry entry{ZephUtil::FromWide(found.cFileName)};
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        entry.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? EntryKind::kLinkedFolder
                                                                 : EntryKind::kFolder;
        return entry;
    }
    entry.kind = EntryKind::kFile;
    entry.size = uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow;
    entry.time = UnixSeconds(found.ftLastWriteTime);
    return entry;
}

}  // namespace

std::vector<ListedEntry> ListFolderEntries(const std::string& folder) {
    std::vector<ListedEntry> entries;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((ZephUtil::WidePath(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
            entries.push_back(EntryOf(found));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

}  // namespace ZephPatch
