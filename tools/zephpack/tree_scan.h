// The files of a tree, as a patch directory can name them.
#pragma once

#include <set>
#include <string>

namespace ZephPack {

// Every regular file below `root`, as relative paths with '/', in byte order. False with a
// reason when the tree cannot be read or holds something a patch cannot carry (a link, a
// device, a name with a backslash or a line end).
[[nodiscard]] bool ScanTree(const std::string& root, std::set<std::string>* files,
                            std::string* error);

// A path that is a file in one tree and a folder in the other cannot be patched: the
// applier adds before it deletes. False with the path when the trees clash so.
[[nodiscard]] bool CheckNoFileFolderClash(const std::set<std::string>& a,
                                          const std::set<std::string>& b, std::string* error);

}  // namespace ZephPack
