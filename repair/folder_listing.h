// One folder's entries with what a scan of the installation needs of each, listed the way the
// system lists them fastest. Implemented in folder_listing_posix.cpp and
// folder_listing_windows.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ZephPatch {

enum class EntryKind { kFolder, kFile, kUnreadable, kLinkedFolder };

struct ListedEntry {
    std::string name;
    EntryKind kind = EntryKind::kUnreadable;
    uint64_t size = 0;  // of a file
    int64_t time = 0;   // of a file: last modification, seconds since 1970 UTC
};

// The entries of `folder` but "." and "..". A folder reached through a link (on Windows any
// reparse point) is kLinkedFolder; a link to a file counts as a file. Empty when the folder cannot
// be listed. Safe for concurrent use.
[[nodiscard]] std::vector<ListedEntry> ListFolderEntries(const std::string& folder);

}  // namespace ZephPatch
