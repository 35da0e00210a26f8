// zephpack: builds what the installer reads: patch archives, installers carrying them, and the
// signed catalogue of a patch server.
#include <cstdio>
#include <string>
#include <string_view>

#include "tools/zephpack/archive_commands.h"
#include "tools/zephpack/catalogue_command.h"
#include "tools/zephpack/cli/help_text.h"
#include "tools/zephpack/container_commands.h"
#include "tools/zephpack/diff_command.h"
#include "tools/zephpack/release_command.h"
#include "tools/zephpack/sign_commands.h"

#ifndef ZEPHPACK_VERSION
#define ZEPHPACK_VERSION "unknown"
#endif

namespace {

struct Command {
    const char* word;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {
    {"diff", ZephPack::RunDiffCommand},     {"archive", ZephPack::RunArchiveCommand},
    {"unpack", ZephPack::RunUnpackCommand}, {"embed", ZephPack::RunEmbedCommand},
    {"list", ZephPack::RunListCommand},     {"catalogue", ZephPack::RunCatalogueCommand},
    {"keygen", ZephPack::RunKeygenCommand}, {"sign", ZephPack::RunSignCommand},
    {"verify", ZephPack::RunVerifyCommand}, {"release", ZephPack::RunReleaseCommand},
};

bool IsHelp(std::string_view argument) {
    return argument == "-h" || argument == "--help";
}

int PrintHelp(const char* text) {
    std::fputs(text, stdout);
    return 0;
}

int UnknownCommand(const std::string& word) {
    std::fprintf(stderr, "zephpack: unknown command \"%s\"; \"zephpack --help\" lists them\n",
                 word.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(ZephPack::kMainHelp, stderr);
        return 2;
    }
    const std::string word = argv[1];
    if (IsHelp(word) || (word == "help" && argc == 2))
        return PrintHelp(ZephPack::kMainHelp);
    if (word == "--version") {
        std::printf("zephpack %s\n", ZEPHPACK_VERSION);
        return 0;
    }
    if (word == "help") {
        const char* help = ZephPack::CommandHelp(argv[2]);
        return help ? PrintHelp(help) : UnknownCommand(argv[2]);
    }
    for (const auto& command : kCommands) {
        if (word != command.word)
            continue;
        for (int i = 2; i < argc; ++i) {
            if (IsHelp(argv[i]))
                return PrintHelp(ZephPack::CommandHelp(word));
        }
        return command.run(argc - 1, argv + 1);
    }
    return UnknownCommand(word);
}
