#include "tools/zephpack/cli.h"

#include <cstdio>
#include <string>

#include "tools/zephpack/archive_commands.h"
#include "tools/zephpack/container_commands.h"
#include "tools/zephpack/make_patch.h"

namespace ZephPack {

namespace {

int RunDiffCommand(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zephpack diff OLD_TREE NEW_TREE PATCH_DIR\n");
        return kPackUsage;
    }
    std::string error;
    const int result = MakePatchDirectory(argv[1], argv[2], argv[3], &error);
    if (result != kPackOk)
        std::fprintf(stderr, "zephpack: %s\n", error.c_str());
    return result;
}

struct Command {
    const char* word;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"diff", RunDiffCommand},       {"archive", RunArchiveCommand}, {"unpack", RunUnpackCommand},
    {"embed", RunEmbedCommand},     {"list", RunListCommand},
};

int Usage() {
    std::fprintf(stderr, "usage: zephpack COMMAND ARGUMENTS...\ncommands:");
    for (const auto& command : kCommands)
        std::fprintf(stderr, " %s", command.word);
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int RunZephPack(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    for (const auto& command : kCommands) {
        if (std::string(argv[1]) == command.word)
            return command.run(argc - 1, argv + 1);
    }
    return Usage();
}

}  // namespace ZephPack
