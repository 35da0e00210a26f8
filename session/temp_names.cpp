#include "session/temp_names.h"

#include "kernel/files/file_utils.h"
#include "session/build_list.h"
#include "session/installation_guard.h"
#include "session/patch_rights.h"

namespace ZephPatch {

bool MakeTempPatchFileName(const PatchSettings& settings, std::string* fileName) {
    const std::string current = CurrentBuild(settings);
    const std::string& target = settings.targetBuild;
    if (!ZephUtil::IsSafeNamePart(current) || !ZephUtil::IsSafeNamePart(target))
        return false;
    const std::string folder = TempFolder();
    if (!ZephUtil::MakeDirectory(folder))
        return false;
    *fileName = ZephUtil::JoinPath(folder, current + "_to_" + target + ".zip");
    return RecordSessionTemporary(*fileName);
}

bool MakeUniqueTempDir(std::string* folder) {
    if (folder->empty())
        *folder = TempFolder();
    const std::string base = *folder;
    // The counter never repeats within the process; another process may hold the name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = ZephUtil::MakeTempName(base);
        if (ZephUtil::FileExists(candidate) || ZephUtil::IsDirectory(candidate))
            continue;
        if (RecordSessionTemporary(candidate) && ZephUtil::MakeDirectory(candidate)) {
            *folder = candidate;
            return true;
        }
        break;
    }
    *folder = TempFolder();
    return false;
}

bool GetFolderFreeSpace(const std::string& folder, uint64_t* bytes) {
    if (folder.empty())
        return false;
    return ZephUtil::FreeDiskSpace(folder, bytes);
}

}  // namespace ZephPatch
