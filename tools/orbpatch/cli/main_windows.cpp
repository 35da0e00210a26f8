#include <string>
#include <vector>

#include "tools/orbpatch/cli.h"
#include "tools/orbpatch/windows_file.h"

// Arguments arrive in UTF-16 so that paths outside the code page survive; inside they are UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(OrbPatch::FromWide(argv[i]));
    }
    std::vector<char*> pointers;
    for (auto& arg : args) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    return OrbPatch::RunOrbPatch(argc, pointers.data());
}
