// The added, deleted and patched lists of an archive: read from a file as the applier reads
// them, their names checked as the applier checks them before touching the disk.
#include <algorithm>
#include <string>
#include <vector>

#include "apply/patch_list.h"
#include "kernel/files/file_utils.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string file = orvik_fuzz::Scratch() / ZephPatch::kAddedFilesList;
    orvik_fuzz::WriteBytes(file, data, size);
    std::vector<ZephPatch::PatchListEntry> entries;
    if (ZephPatch::ReadPatchList(file, &entries) != ZephPatch::ListReadResult::kOk) {
        FUZZ_CHECK(entries.empty());
        return 0;
    }
    for (const ZephPatch::PatchListEntry& entry : entries) {
        std::string relative;
        if (!ZephUtil::ToSafeRelativePath(entry.path, &relative))
            continue;
        // What passes must stay below the installation, whatever the separators said.
        FUZZ_CHECK(relative.empty() || relative.front() != '/');
        for (size_t begin = 0; begin <= relative.size();) {
            const size_t end = std::min(relative.find('/', begin), relative.size());
            FUZZ_CHECK(relative.substr(begin, end - begin) != "..");
            begin = end + 1;
        }
    }
    return 0;
}
