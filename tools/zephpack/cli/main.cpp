// zephpack: builds what the installer reads: patch archives and installers carrying them.
#include <cstdio>
#include <string>

#include "tools/zephpack/archive_commands.h"
#include "tools/zephpack/catalogue_command.h"
#include "tools/zephpack/diff_command.h"
#include "tools/zephpack/container_commands.h"

namespace {

struct Command {
    const char* word;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"diff", ZephPack::RunDiffCommand},
    {"archive", ZephPack::RunArchiveCommand},
    {"unpack", ZephPack::RunUnpackCommand},
    {"embed", ZephPack::RunEmbedCommand},
    {"list", ZephPack::RunListCommand},
    {"catalogue", ZephPack::RunCatalogueCommand},
};

int Usage() {
    std::fprintf(stderr, "usage: zephpack COMMAND ARGUMENTS...\ncommands:");
    for (const auto& command : kCommands)
        std::fprintf(stderr, " %s", command.word);
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    for (const auto& command : kCommands) {
        if (std::string(argv[1]) == command.word)
            return command.run(argc - 1, argv + 1);
    }
    return Usage();
}
