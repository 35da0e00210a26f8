// zephpack release OLD_TREE NEW_TREE --from B1 --to B2 --out DIR [--key SECRET]
//                  [--base-url URL] [--sequence N] [--expires-in DAYS]
// The step a publisher repeats for every build: the difference between the trees, the archive
// DIR/B1_to_B2.zpa, its record (with size and SHA-256) added to or updated in DIR/patches.txt,
// and with a key the catalogue's signature DIR/patches.txt.minisig. Prints what it did. The
// same inputs give the same bytes, the signature's time aside. Takes the arguments from its
// command word on and returns the exit status: 0 done, 1 failed, 2 usage error.
#pragma once

namespace ZephPack {

[[nodiscard]] int RunReleaseCommand(int argc, char** argv);

}  // namespace ZephPack
