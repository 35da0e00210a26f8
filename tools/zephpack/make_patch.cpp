#include "tools/zephpack/make_patch.h"

#include <filesystem>
#include <set>
#include <vector>

#include "apply/file_ops.h"
#include "apply/md5.h"
#include "apply/patch_list.h"
#include "tools/orbpatch/diff.h"
#include "tools/zephpack/tree_scan.h"

namespace ZephPack {
namespace {
namespace fs = std::filesystem;

struct Entry {
    std::string path;  // relative, '/'
    std::string after;
    std::string before;
};

std::string ListText(const std::vector<Entry>& entries) {
    std::string text;
    for (const Entry& entry : entries) {
        std::string listed = entry.path;
        for (char& c : listed)
            c = c == '/' ? '\\' : c;
        text += listed + "\r\n" + entry.after + "\r\n" + entry.before + "\r\n";
    }
    return text;
}

bool WriteList(const std::string& folder, const char* name, const std::vector<Entry>& entries) {
    const std::string text = ListText(entries);
    return ZephPatch::WriteFileSynced(folder + "/" + name,
                                      std::vector<uint8_t>(text.begin(), text.end()));
}

bool Digest(const std::string& path, std::string* digest, std::string* error) {
    if (ZephPatch::FileMd5Hex(path, digest))
        return true;
    *error = "cannot read " + path;
    return false;
}

bool PrepareFolder(const std::string& folder, std::string* error) {
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure || !fs::is_empty(folder, failure) || failure) {
        *error = "the patch folder must be new or empty: " + folder;
        return false;
    }
    return true;
}

// One added file copied into "data", or one changed file's difference file made there.
int CarryFile(const std::string& oldTree, const std::string& newTree, const std::string& data,
              const std::string& path, bool added, std::string* error) {
    const std::string target = data + "/" + path + (added ? "" : ".diff");
    std::error_code failure;
    fs::create_directories(ZephPatch::ParentFolder(target), failure);
    if (added) {
        if (!failure && ZephPatch::CopyFileOver(newTree + "/" + path, target))
            return kPackOk;
        *error = "cannot copy " + newTree + "/" + path + " to " + target;
        return kPackNotWritable;
    }
    const OrbPatch::Result made = OrbPatch::MakeDiff(oldTree + "/" + path, newTree + "/" + path,
                                                     target, OrbPatch::DiffOptions());
    if (made.ok())
        return kPackOk;
    *error = "orbpatch diff " + path + ": " + made.message;
    return kPackDiffFailed;
}

}  // namespace

int MakePatchDirectory(const std::string& oldTree, const std::string& newTree,
                       const std::string& patchFolder, std::string* error, PatchSummary* summary) {
    std::set<std::string> oldFiles, newFiles;
    if (!ScanTree(oldTree, &oldFiles, error) || !ScanTree(newTree, &newFiles, error) ||
        !CheckNoFileFolderClash(oldFiles, newFiles, error)) {
        return kPackBadTree;
    }

    std::vector<Entry> added, deleted, patched;
    for (const std::string& path : newFiles) {
        std::string after, before;
        if (!Digest(newTree + "/" + path, &after, error))
            return kPackBadTree;
        if (!oldFiles.count(path)) {
            added.push_back({path, after, after});
            continue;
        }
        if (!Digest(oldTree + "/" + path, &before, error))
            return kPackBadTree;
        if (after != before)
            patched.push_back({path, after, before});
    }
    for (const std::string& path : oldFiles) {
        std::string before;
        if (newFiles.count(path))
            continue;
        if (!Digest(oldTree + "/" + path, &before, error))
            return kPackBadTree;
        deleted.push_back({path, before, before});
    }
    // "data/x.diff" is both the difference file of x and the copy of an added x.diff.
    for (const Entry& entry : patched) {
        if (newFiles.count(entry.path + ".diff") && !oldFiles.count(entry.path + ".diff")) {
            *error = "the added file " + entry.path + ".diff would take the place of the " +
                     "difference file of " + entry.path;
            return kPackBadTree;
        }
    }

    if (!PrepareFolder(patchFolder, error))
        return kPackNotWritable;
    const std::string data = patchFolder + "/data";
    for (const auto* list : {&added, &patched}) {
        for (const Entry& entry : *list) {
            const int result = CarryFile(oldTree, newTree, data, entry.path, list == &added, error);
            if (result != kPackOk)
                return result;
        }
    }
    if (!WriteList(patchFolder, ZephPatch::kAddedFilesList, added) ||
        !WriteList(patchFolder, ZephPatch::kDeletedFilesList, deleted) ||
        !WriteList(patchFolder, ZephPatch::kPatchedFilesList, patched)) {
        *error = "cannot write the lists in " + patchFolder;
        return kPackNotWritable;
    }
    if (summary) {
        *summary = {added.size(), deleted.size(), patched.size(), 0};
        for (const std::string& path : newFiles) {
            std::error_code failure;
            const uintmax_t size = fs::file_size(newTree + "/" + path, failure);
            summary->newTreeBytes += failure ? 0 : size;
        }
    }
    return kPackOk;
}

}  // namespace ZephPack
