// The files below an installation folder, with what a scan needs to know of each.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ZephPatch {

struct WalkedFile {
    std::string path;       // the full path
    std::string key;        // relative to the root, backslash-separated
    bool readable = false;  // false when its status could not be read
    uint64_t size = 0;
    int64_t time = 0;  // last modification, seconds since 1970 UTC
};

// Every entry below `root` that is not a folder, in byte order of their keys. Folders reached
// through a symbolic link are not walked, so that a link cannot make the walk endless or leave
// the tree. Folders are listed on every core: a status call per entry is most of what a rescan
// of an unchanged installation costs. Once `cancel` is set no further folder is listed.
[[nodiscard]] std::vector<WalkedFile> WalkTree(const std::string& root,
                                               const std::atomic<bool>* cancel = nullptr);

}  // namespace ZephPatch
