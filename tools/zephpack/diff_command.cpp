#include "tools/zephpack/diff_command.h"

#include <cstdio>
#include <string>

#include "tools/zephpack/make_patch.h"

namespace ZephPack {

int RunDiffCommand(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zephpack diff OLD_TREE NEW_TREE PATCH_DIR\n");
        return kPackUsage;
    }
    std::string error;
    PatchSummary summary;
    const int result = MakePatchDirectory(argv[1], argv[2], argv[3], &error, &summary);
    if (result != kPackOk)
        std::fprintf(stderr, "zephpack: %s\n", error.c_str());
    else
        std::printf("%s: %zu files added, %zu deleted, %zu patched\n", argv[3], summary.added,
                    summary.deleted, summary.patched);
    return result;
}

}  // namespace ZephPack
