// The file operations the applier builds on, beyond the kernel's: copies and renames as a
// patch needs them, and writes that reach the disk before the next step relies on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ZephPatch {

// Copies `from` over `to` (created or truncated) and flushes `to` to disk. False when either
// cannot be opened or a read or write fails; a partly written `to` may then remain.
[[nodiscard]] bool CopyFileOver(const std::string& from, const std::string& to);

// Renames `from` to `to`, replacing `to`; when the rename fails, copies and then deletes
// `from`, ignoring a failed delete. False only when both the rename and the copy fail.
[[nodiscard]] bool RenameFile(const std::string& from, const std::string& to);

// Creates or truncates `path`, writes `bytes` and flushes them to disk.
[[nodiscard]] bool WriteFileSynced(const std::string& path, const std::vector<uint8_t>& bytes);

// Hands the file to `consume` block by block (never whole); false when it cannot be opened
// or read to its end.
[[nodiscard]] bool ReadFileBlocks(const std::string& path,
                                  const std::function<void(const uint8_t*, size_t)>& consume);

// Reads a whole file; false when it cannot be opened or read.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

// Flushes a folder's entries (renames, creations, deletions) to disk.
[[nodiscard]] bool SyncDirectory(const std::string& folder);

// Flushes what an application wrote in the installation `folder` to disk. Linux flushes the
// whole file system that holds `folder` in one call; Windows, whose volume flush needs the
// administrator and reaches every other program's files too, flushes each path of `written`
// that exists (renames there are written through already).
[[nodiscard]] bool SyncWrittenFiles(const std::string& folder,
                                    const std::vector<std::string>& written);

// The folder part of a path ("a/b/c" -> "a/b"); empty when there is none.
[[nodiscard]] std::string ParentFolder(const std::string& path);

}  // namespace ZephPatch
