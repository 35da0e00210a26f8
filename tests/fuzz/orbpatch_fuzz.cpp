// A difference file applied to a fixed OLD, as the installer has orbpatch apply it: a result
// file only on success, nothing left behind on failure.
#include <cstdio>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tools/orbpatch/apply.h"

namespace {

// OLD: numbered text lines, so that seeds made from edited copies of it have copies and coded
// bytes in their blocks. The seeds in the corpus were made against exactly these bytes.
const std::string& OldPath() {
    static const std::string path = [] {
        std::string text;
        char line[64];
        for (int i = 0; i < 1500; ++i)
            text.append(line, static_cast<size_t>(std::snprintf(line, sizeof line,
                                                                "line %d of the old file\n", i)));
        const std::string file = orvik_fuzz::Scratch() / "old";
        orvik_fuzz::WriteBytes(file, reinterpret_cast<const uint8_t*>(text.data()), text.size());
        return file;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string diff = orvik_fuzz::Scratch() / "diff";
    const std::string out = orvik_fuzz::Scratch() / "new";
    orvik_fuzz::WriteBytes(diff, data, size);
    std::error_code ignored;
    std::filesystem::remove(out, ignored);
    const OrbPatch::Result result = OrbPatch::ApplyDiff(OldPath(), diff, out);
    FUZZ_CHECK(result.ok() == std::filesystem::exists(out));
    FUZZ_CHECK(result.ok() || !result.message.empty());
    return 0;
}
