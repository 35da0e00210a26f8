#include "tools/zephpack/cli.h"

int main(int argc, char** argv) {
    return ZephPack::RunZephPack(argc, argv);
}
