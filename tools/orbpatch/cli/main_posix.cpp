#include "tools/orbpatch/cli.h"

int main(int argc, char** argv) {
    return OrbPatch::RunOrbPatch(argc, argv);
}
