#include "tools/zephpack/archive_commands.h"

#include <cstdio>
#include <string>

#include "kernel/files/file_utils.h"
#include "package/archive_writer.h"
#include "package/patch_archive.h"

namespace ZephPack {
namespace {

int ArchiveUsage() {
    std::fprintf(stderr, "usage: zephpack archive PATCH_DIR ARCHIVE [--format 1|2]\n");
    return 2;
}

const char* UnpackFailure(int result) {
    switch (result) {
        case ZephPatch::kUnpackCannotOpen:
            return "cannot open the archive";
        case ZephPatch::kUnpackBadVersion:
            return "not a patch archive (version 1 or 2)";
        case ZephPatch::kUnpackWriteFailed:
            return "cannot write below the target folder";
        case ZephPatch::kUnpackDamaged:
            return "the archive is damaged";
        case ZephPatch::kUnpackUnsafeName:
            return "a record name leaves the target folder";
        default:
            return "failed";
    }
}

}  // namespace

int RunArchiveCommand(int argc, char** argv) {
    if (argc != 3 && argc != 5)
        return ArchiveUsage();
    uint32_t version = ZephPatch::kArchiveVersion2;
    if (argc == 5) {
        const std::string option = argv[3], value = argv[4];
        if (option != "--format" || (value != "1" && value != "2"))
            return ArchiveUsage();
        version = value == "1" ? ZephPatch::kArchiveVersion1 : ZephPatch::kArchiveVersion2;
    }
    std::string error;
    if (!WritePatchArchive(argv[1], argv[2], version, &error)) {
        std::fprintf(stderr, "zephpack archive: %s\n", error.c_str());
        return 1;
    }
    uint64_t size = 0;
    if (ZephUtil::GetFileSizeOf(argv[2], &size) != 0) {
        std::fprintf(stderr, "zephpack archive: cannot read %s back\n", argv[2]);
        return 1;
    }
    std::printf("%s: %llu bytes, format %u\n", argv[2], static_cast<unsigned long long>(size),
                static_cast<unsigned>(version));
    return 0;
}

int RunUnpackCommand(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zephpack unpack ARCHIVE DIR\n");
        return 2;
    }
    if (!ZephUtil::MakeDirectory(argv[2])) {
        std::fprintf(stderr, "zephpack unpack: cannot create %s\n", argv[2]);
        return 1;
    }
    const int result = ZephPatch::UnpackArchive(argv[1], argv[2]);
    if (result != ZephPatch::kUnpackOk) {
        std::fprintf(stderr, "zephpack unpack: %s (code %d)\n", UnpackFailure(result), result);
        return 1;
    }
    std::printf("%s: unpacked into %s\n", argv[1], argv[2]);
    return 0;
}

}  // namespace ZephPack
