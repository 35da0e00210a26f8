// zephpack catalogue CATALOGUE FROM TO URL [FROM TO URL]...
// Writes the server catalogue ("patches.txt") with one record per FROM TO URL triple: the patch
// from build FROM to build TO is at URL (absolute, or relative to the server's base address;
// also given as the record's patch-exe-url). An archive given by a relative URL is read beside
// the catalogue, for its size and SHA-256, and must be there. Takes the arguments from its command
// word on (argv[0] is "catalogue") and returns the exit status: 0 done, 1 failed, 2 usage error.
#pragma once

namespace ZephPack {

[[nodiscard]] int RunCatalogueCommand(int argc, char** argv);

}  // namespace ZephPack
