// The patch container appended to the installer: whatever the executable's tail holds, every
// record of a container that opens lies inside the file, and extracting it copies exactly its
// bytes or leaves no file.
#include <string>
#include <vector>

#include "package/embedded_patch_container.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace ZephPatch;
    const std::string executable = orvik_fuzz::Scratch() / "InstallPatchGUI";
    const std::string extracted = orvik_fuzz::Scratch() / "extracted.zpa";
    orvik_fuzz::WriteBytes(executable, data, size);
    EmbeddedPatchContainer container;
    if (container.OpenContainer(executable) != kContainerOpened)
        return 0;
    std::vector<DirectoryEntry> entries;
    FUZZ_CHECK(container.ReadDirectory(&entries));
    FUZZ_CHECK(container.ListFromBuilds().size() == entries.size());
    for (const DirectoryEntry& entry : entries) {
        FUZZ_CHECK(entry.dataOffset <= size && entry.dataLength <= size - entry.dataOffset);
        (void)container.LookupTarget(entry.fromBuild);
    }
    if (entries.empty())
        return 0;
    // The first record for a build is the one extracted.
    const DirectoryEntry& first = entries.front();
    std::error_code ignored;
    std::filesystem::remove(extracted, ignored);
    if (container.ExtractPatch(first.fromBuild, extracted) == kExtractOk) {
        const std::vector<uint8_t> expected(data + first.dataOffset,
                                            data + first.dataOffset + first.dataLength);
        std::ifstream in(extracted, std::ios::binary);
        FUZZ_CHECK(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}) == expected);
    } else {
        FUZZ_CHECK(!std::filesystem::exists(extracted));
    }
    return 0;
}
