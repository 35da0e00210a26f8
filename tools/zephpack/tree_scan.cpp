#include "tools/zephpack/tree_scan.h"

#include <filesystem>

namespace ZephPack {
namespace fs = std::filesystem;

bool ScanTree(const std::string& root, std::set<std::string>* files, std::string* error) {
    std::error_code failure;
    if (!fs::is_directory(root, failure)) {
        *error = "not a folder: " + root;
        return false;
    }
    fs::recursive_directory_iterator it(root, failure);
    for (; !failure && it != fs::recursive_directory_iterator(); it.increment(failure)) {
        const fs::directory_entry& entry = *it;
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (relative.find_first_of("\\\r\n") != std::string::npos) {
            *error = "a patch list cannot name this file: " + entry.path().string();
            return false;
        }
        if (entry.is_symlink()) {
            *error = "links cannot be patched: " + entry.path().string();
            return false;
        }
        if (entry.is_directory())
            continue;
        if (!entry.is_regular_file()) {
            *error = "not a regular file: " + entry.path().string();
            return false;
        }
        files->insert(relative);
    }
    if (failure) {
        *error = "cannot read " + root + ": " + failure.message();
        return false;
    }
    return true;
}

bool CheckNoFileFolderClash(const std::set<std::string>& a, const std::set<std::string>& b,
                            std::string* error) {
    for (const auto* files : {&a, &b}) {
        const auto& others = files == &a ? b : a;
        for (const std::string& path : *files) {
            for (size_t slash = path.find('/'); slash != std::string::npos;
                 slash = path.find('/', slash + 1)) {
                if (others.count(path.substr(0, slash))) {
                    *error =
                        "a file in one tree is a folder in the other: " + path.substr(0, slash);
                    return false;
                }
            }
        }
    }
    return true;
}

}  // namespace ZephPack
