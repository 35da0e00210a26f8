#include "tools/zephpack/cli.h"

#include <cstdio>
#include <string>

#include "tools/zephpack/make_patch.h"

namespace ZephPack {

int RunZephPack(int argc, char** argv) {
    if (argc != 5 || std::string(argv[1]) != "diff") {
        std::fprintf(stderr, "usage: zephpack diff OLD_TREE NEW_TREE PATCH_DIR\n");
        return kPackUsage;
    }
    std::string error;
    const int result = MakePatchDirectory(argv[2], argv[3], argv[4], &error);
    if (result != kPackOk)
        std::fprintf(stderr, "zephpack: %s\n", error.c_str());
    return result;
}

}  // namespace ZephPack
