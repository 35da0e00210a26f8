// Patch authoring: the patch directory that brings an installation from one tree to another.
#pragma once

#include <string>

namespace ZephPack {

enum PackResult : int {
    kPackOk = 0,
    kPackUsage = 1,
    kPackBadTree = 2,      // a tree cannot be read or cannot be patched
    kPackNotWritable = 3,  // the patch directory is not new and empty, or a write failed
    kPackDiffFailed = 4,   // the difference tool failed on a changed file
};

// Writes `patchFolder` (created; must be missing or empty): "addedFiles.txt",
// "deletedFiles.txt" and "patchedFiles.txt" (three-line entries: path with backslashes,
// MD5 after, MD5 before; CR LF), "data/<path>" for each added file and "data/<path>.diff"
// for each changed one. The same trees always give the same bytes. On failure `error` says
// why.
int MakePatchDirectory(const std::string& oldTree, const std::string& newTree,
                       const std::string& patchFolder, std::string* error);

}  // namespace ZephPack
