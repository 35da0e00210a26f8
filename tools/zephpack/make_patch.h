// Patch authoring: the patch directory that brings an installation from one tree to another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ZephPack {

enum PackResult : int {
    kPackOk = 0,
    kPackUsage = 1,
    kPackBadTree = 2,      // a tree cannot be read or cannot be patched
    kPackNotWritable = 3,  // the patch directory is not new and empty, or a write failed
    kPackDiffFailed = 4,   // the difference tool failed on a changed file
};

// What a patch directory does, for the publisher's summary.
struct PatchSummary {
    size_t added = 0;
    size_t deleted = 0;
    size_t patched = 0;
    uint64_t newTreeBytes = 0;  // the size of every file of the new tree together
};

// Writes `patchFolder` (created; must be missing or empty): "addedFiles.txt",
// "deletedFiles.txt" and "patchedFiles.txt" (three-line entries: path with backslashes,
// MD5 after, MD5 before; CR LF), "data/<path>" for each added file and "data/<path>.diff"
// for each changed one. The same trees always give the same bytes. On failure `error` says
// why; on success `summary` (may be null) says what the patch does.
[[nodiscard]] int MakePatchDirectory(const std::string& oldTree, const std::string& newTree,
                                     const std::string& patchFolder, std::string* error,
                                     PatchSummary* summary = nullptr);

}  // namespace ZephPack
