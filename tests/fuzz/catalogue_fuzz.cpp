// "patches.txt" from a server: whatever it holds, every stored record names a target build and
// an absolute archive address, and its builds cannot leave a folder as part of a file name.
#include <string_view>

#include "apply/patch_catalogue.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ZephPatch::PatchCatalogue catalogue;
    (void)catalogue.ParseCatalogue(text, "http://patches.example.com/velmor/");
    for (const auto& [sourceBuild, entry] : catalogue.Entries()) {
        FUZZ_CHECK(catalogue.FindPatch(sourceBuild) == &entry);
        FUZZ_CHECK(!entry.targetVersion.empty() && ZephPatch::IsAbsoluteUrl(entry.patchDataUrl));
        for (const std::string& build : {sourceBuild, entry.targetVersion})
            FUZZ_CHECK(build.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos);
    }
    return 0;
}
