// A patch archive, unpacked as the installer unpacks it: whatever the records say, nothing is
// written outside the folder it unpacks into.
#include <set>
#include <string>

#include "package/patch_archive.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string archive = orvik_fuzz::Scratch() / "patch.zpa";
    orvik_fuzz::WriteBytes(archive, data, size);
    // The target sits two levels down, so that a name climbing out of it lands where it shows.
    const std::string box = orvik_fuzz::FreshFolder("box");
    const std::string target = box + "/target";
    std::filesystem::create_directory(target);
    (void)ZephPatch::UnpackArchive(archive, target);  // any result will do
    FUZZ_CHECK(orvik_fuzz::EntryNames(box) == std::set<std::string>{"target"});
    FUZZ_CHECK((orvik_fuzz::EntryNames(orvik_fuzz::Scratch().Path()) ==
                std::set<std::string>{"box", "patch.zpa"}));
    return 0;
}
