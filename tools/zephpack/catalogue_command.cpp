#include "tools/zephpack/catalogue_command.h"

#include <cstdio>
#include <set>
#include <string>

#include "apply/file_ops.h"
#include "tools/zephpack/catalogue_file.h"
#include "tools/zephpack/output_file.h"

namespace ZephPack {
namespace {

int Fail(const std::string& why) {
    std::fprintf(stderr, "zephpack catalogue: %s\n", why.c_str());
    return 1;
}

}  // namespace

int RunCatalogueCommand(int argc, char** argv) {
    if (argc < 5 || (argc - 2) % 3 != 0) {
        std::fprintf(stderr, "usage: zephpack catalogue CATALOGUE FROM TO URL [FROM TO URL]...\n");
        return 2;
    }
    const std::string catalogue = argv[1];
    const std::string folder = ZephPatch::ParentFolder(catalogue);
    std::vector<CatalogueEntry> entries;
    std::set<std::string> sources;
    size_t measured = 0;
    for (int i = 2; i < argc; i += 3) {
        CatalogueEntry entry{argv[i], argv[i + 1], argv[i + 2], std::nullopt, std::nullopt};
        std::string problem = EntryProblem(entry);
        if (problem.empty() && !sources.insert(entry.fromBuild).second)
            problem = "two patches from build " + entry.fromBuild;
        const std::string local = LocalArchivePath(folder, entry.url);
        if (problem.empty() && !local.empty() && MeasureArchive(local, &entry, &problem))
            ++measured;
        if (!problem.empty())
            return Fail(problem);
        if (local.empty())
            std::fprintf(stderr,
                         "zephpack catalogue: note: %s is not a local file: its record has no "
                         "size or SHA-256, which installers with a signing key refuse\n",
                         entry.url.c_str());
        entries.push_back(std::move(entry));
    }
    std::string error;
    if (!WriteOutputFile(catalogue, CatalogueText(entries), 0644, true, &error))
        return Fail(error);
    std::printf("%s: %zu records, %zu with the size and SHA-256 of their archive\n",
                catalogue.c_str(), entries.size(), measured);
    return 0;
}

}  // namespace ZephPack
