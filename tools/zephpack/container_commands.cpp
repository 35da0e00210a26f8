#include "tools/zephpack/container_commands.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "package/container_writer.h"
#include "package/embedded_patch_container.h"

namespace ZephPack {

int RunEmbedCommand(int argc, char** argv) {
    std::vector<EmbeddedPatch> patches;
    int i = 3;
    for (; i + 3 < argc && std::string(argv[i]) == "--patch"; i += 4)
        patches.push_back({argv[i + 1], argv[i + 2], argv[i + 3]});
    if (argc < 7 || i != argc) {
        std::fprintf(stderr,
                     "usage: zephpack embed INSTALLER OUT --patch FROM TO ARCHIVE "
                     "[--patch FROM TO ARCHIVE ...]\n");
        return 2;
    }
    std::string error;
    if (!EmbedPatches(argv[1], argv[2], patches, &error)) {
        std::fprintf(stderr, "zephpack embed: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %s with %zu patches\n", argv[2], argv[1], patches.size());
    return 0;
}

int RunListCommand(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zephpack list EXECUTABLE\n");
        return 2;
    }
    ZephPatch::EmbeddedPatchContainer container;
    const int opened = container.OpenContainer(argv[1]);
    if (opened == ZephPatch::kContainerAbsent) {
        std::fprintf(stderr, "zephpack list: no patch container in %s\n", argv[1]);
        return 1;
    }
    std::vector<ZephPatch::DirectoryEntry> entries;
    if (opened != ZephPatch::kContainerOpened || !container.ReadDirectory(&entries)) {
        std::fprintf(stderr, "zephpack list: unreadable or damaged patch container in %s\n",
                     argv[1]);
        return 1;
    }
    std::printf("container at %" PRIu64 ", %zu patches, %" PRIu32 " bytes\n",
                container.HeaderOffset(), entries.size(), container.Header()->totalSize);
    for (const auto& entry : entries) {
        std::printf("%s -> %s at %" PRIu64 ", %" PRIu64 " bytes\n", entry.fromBuild.c_str(),
                    entry.toBuild.c_str(), entry.dataOffset, entry.dataLength);
    }
    return 0;
}

}  // namespace ZephPack
