// The list files of a patch directory: "addedFiles.txt", "deletedFiles.txt",
// "patchedFiles.txt". Each is UTF-8 text made of three-line entries (path with backslashes,
// MD5 after, MD5 before); lines end in CR LF, LF or CR, the last one optionally.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "kernel/reporter.h"

namespace ZephPatch {

inline constexpr const char* kAddedFilesList = "addedFiles.txt";
inline constexpr const char* kDeletedFilesList = "deletedFiles.txt";
inline constexpr const char* kPatchedFilesList = "patchedFiles.txt";

struct PatchListEntry {
    std::string path;  // as written, backslashes and all
    std::string checksumAfter;
    std::string checksumBefore;
};

// A list names each file of a patch once; the biggest patches name a few thousand. Larger
// lists are taken for hostile rather than held in memory.
inline constexpr size_t kMaxPatchListBytes = 32u << 20;
inline constexpr size_t kMaxPatchListEntries = 250000;

enum class ListReadResult {
    kOk,
    kCannotOpen,
    kDamaged,   // the lines do not make whole three-line entries
    kTooLarge,  // more than kMaxPatchListBytes or kMaxPatchListEntries
};

// Reads a list file into `entries` (replaced). Lines are taken as they stand; a leading UTF-8
// byte order mark is dropped. On any result but kOk `entries` is left empty.
[[nodiscard]] ListReadResult ReadPatchList(const std::string& file,
                                           std::vector<PatchListEntry>* entries);

// ReadPatchList, reporting at level 3 why a list cannot be used; true for kOk.
[[nodiscard]] bool ReadPatchListOrReport(const std::string& file,
                                         std::vector<PatchListEntry>* entries, Reporter& reporter);

// Splits text into lines at CR LF, LF or CR; a final line end makes no empty line.
[[nodiscard]] std::vector<std::string> SplitLines(const std::string& text);

// Moves the first entry whose path contains `lastFile` (case-sensitive) to the end; an empty
// name moves nothing.
void MoveLastFileToEnd(std::vector<PatchListEntry>* entries, const std::string& lastFile);

}  // namespace ZephPatch
