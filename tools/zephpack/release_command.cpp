#include "tools/zephpack/release_command.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "apply/catalogue_signature.h"
#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"
#include "package/archive_writer.h"
#include "package/patch_archive.h"
#include "tools/zephpack/arguments.h"
#include "tools/zephpack/catalogue_file.h"
#include "tools/zephpack/make_patch.h"
#include "tools/zephpack/output_file.h"
#include "tools/zephpack/signing.h"

namespace ZephPack {
namespace {

constexpr char kUsage[] =
    "release OLD_TREE NEW_TREE --from B1 --to B2 --out DIR [--key SECRET] [--base-url URL] "
    "[--sequence N] [--expires-in DAYS]";
constexpr char kCatalogueName[] = "patches.txt";

struct Release {
    std::string oldTree, newTree, out, keyPath, baseUrl;
    CatalogueEntry entry;
    std::optional<uint64_t> sequence;
    uint64_t expiryDays = kDefaultExpiryDays;
};

// A folder of its own below the temporary folder, removed with its contents.
class ScratchFolder {
public:
    // A new folder of a random name, for the owner only (as mkdtemp makes it, which not every
    // C library has).
    ScratchFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::path base = fs::temp_directory_path(error);
        std::random_device random;
        for (int attempt = 0; attempt < 100 && !error && m_path.empty(); ++attempt) {
            const fs::path folder = base / ("zephpack-release-" + std::to_string(random()));
            if (fs::create_directory(folder, error)) {
                fs::permissions(folder, fs::perms::owner_all, error);
                m_path = folder.string();
            }
        }
    }
    ~ScratchFolder() {
        if (!m_path.empty())
            (void)ZephUtil::DeleteTree(m_path);  // best effort in a destructor
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

bool ParseRelease(int argc, char** argv, Release* release, std::string* error) {
    Arguments arguments;
    if (!ParseArguments(
            argc, argv,
            {"--from", "--to", "--out", "--key", "--base-url", "--sequence", "--expires-in"}, {},
            &arguments, error))
        return false;
    auto& options = arguments.options;
    if (arguments.positional.size() != 2 || !options.contains("--from") ||
        !options.contains("--to") || !options.contains("--out")) {
        *error = "two trees, --from, --to and --out are needed";
        return false;
    }
    uint64_t sequence = 0;
    if ((options.contains("--sequence") &&
         !ZephUtil::ParseDecimal(options["--sequence"], &sequence)) ||
        (options.contains("--expires-in") &&
         !ZephUtil::ParseDecimal(options["--expires-in"], &release->expiryDays))) {
        *error = "--sequence and --expires-in take decimal numbers";
        return false;
    }
    if (options.contains("--sequence"))
        release->sequence = sequence;
    release->oldTree = arguments.positional[0];
    release->newTree = arguments.positional[1];
    release->out = options["--out"];
    release->keyPath = options["--key"];
    release->baseUrl = options["--base-url"];
    const std::string archiveName = options["--from"] + "_to_" + options["--to"] + ".zpa";
    release->entry = {
        options["--from"], options["--to"],
        release->baseUrl.empty() ? archiveName : ZephUtil::JoinPath(release->baseUrl, archiveName),
        std::nullopt, std::nullopt};
    *error = EntryProblem(release->entry);
    return error->empty();
}

// The patch directory in a scratch folder, then the archive beside the catalogue (whose
// folder is made only once the trees have given a patch).
bool MakeArchive(const Release& release, const std::string& archive, PatchSummary* summary,
                 std::string* error) {
    ScratchFolder scratch;
    if (scratch.Path().empty()) {
        *error = "cannot create a temporary folder";
        return false;
    }
    const std::string patch = scratch.Path() + "/patch";
    const std::string temporary = TemporaryNameFor(archive);
    if (MakePatchDirectory(release.oldTree, release.newTree, patch, error, summary) != kPackOk)
        return false;
    if (!ZephUtil::MakeDirectory(release.out)) {
        *error = "cannot create " + release.out;
        return false;
    }
    return WritePatchArchive(patch, temporary, ZephPatch::kArchiveVersion2, error) &&
           CommitOutputFile(temporary, archive, error);
}

// Adds the release's record to the catalogue, or puts it in place of the one from its build.
bool UpdateCatalogue(const Release& release, const std::string& catalogue, bool* added,
                     size_t* records, std::string* error) {
    std::vector<CatalogueEntry> entries;
    if (ZephUtil::FileExists(catalogue) && !ReadCatalogueFile(catalogue, &entries, error))
        return false;
    *added = true;
    for (CatalogueEntry& entry : entries) {
        if (entry.fromBuild == release.entry.fromBuild) {
            entry = release.entry;
            *added = false;
        }
    }
    if (*added)
        entries.push_back(release.entry);
    *records = entries.size();
    return WriteOutputFile(catalogue, CatalogueText(entries), 0644, true, error);
}

// Where the release went and what it holds.
struct Outcome {
    std::string archive, catalogue, signature;
    PatchSummary summary;
    bool added = false;
    size_t records = 0;
    std::string keyId;  // empty when not signed
    ZephPatch::CatalogueStamp stamp;
};

void PrintOutcome(const Release& release, const Outcome& outcome) {
    const uint64_t size = *release.entry.size;
    const uint64_t tree = outcome.summary.newTreeBytes;
    std::printf("release %s -> %s in %s\n", release.entry.fromBuild.c_str(),
                release.entry.toBuild.c_str(), release.out.c_str());
    std::printf("  files: %zu added, %zu deleted, %zu patched\n", outcome.summary.added,
                outcome.summary.deleted, outcome.summary.patched);
    std::printf("  archive: %s, %llu bytes, patch ratio %.1f %% of the new tree's %llu bytes\n",
                outcome.archive.c_str(), static_cast<unsigned long long>(size),
                tree ? 100.0 * static_cast<double>(size) / static_cast<double>(tree) : 0.0,
                static_cast<unsigned long long>(tree));
    std::printf("  catalogue: %s, record %s (%zu records)\n", outcome.catalogue.c_str(),
                outcome.added ? "added" : "updated", outcome.records);
    if (!outcome.keyId.empty())
        std::printf("  signature: %s, key %s, sequence %llu, expires %s\n",
                    outcome.signature.c_str(), outcome.keyId.c_str(),
                    static_cast<unsigned long long>(outcome.stamp.sequence),
                    ZephPatch::UtcDateText(outcome.stamp.expires).c_str());
    else if (ZephUtil::FileExists(outcome.signature))
        std::printf("  signature: %s no longer matches the catalogue: sign it again\n",
                    outcome.signature.c_str());
    else
        std::printf("  signature: none (no --key): installers with a signing key refuse it\n");
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "zephpack release: %s\n", why.c_str());
    return 1;
}

}  // namespace

int RunReleaseCommand(int argc, char** argv) {
    Release release;
    std::string error;
    if (!ParseRelease(argc, argv, &release, &error)) {
        std::fprintf(stderr, "zephpack: %s\nusage: zephpack %s\n", error.c_str(), kUsage);
        return 2;
    }
    // The key first, so that a wrong password costs no work.
    SecretKey key;
    if (!release.keyPath.empty() && !LoadSecretKey(release.keyPath, &key, &error))
        return Fail(error);
    Outcome outcome;
    outcome.archive = ZephUtil::JoinPath(
        release.out, release.entry.fromBuild + "_to_" + release.entry.toBuild + ".zpa");
    outcome.catalogue = ZephUtil::JoinPath(release.out, kCatalogueName);
    outcome.signature = outcome.catalogue + ZephPatch::kCatalogueSignatureSuffix;
    if (!MakeArchive(release, outcome.archive, &outcome.summary, &error) ||
        !MeasureArchive(outcome.archive, &release.entry, &error) ||
        !UpdateCatalogue(release, outcome.catalogue, &outcome.added, &outcome.records, &error))
        return Fail(error);
    if (!release.keyPath.empty()) {
        outcome.stamp = NextStamp(outcome.signature, release.sequence, release.expiryDays);
        if (!SignFile(outcome.catalogue, key, ZephPatch::CatalogueStampText(outcome.stamp),
                      outcome.signature, &error))
            return Fail(error);
        outcome.keyId = ZephPatch::KeyIdText(key.keyId);
    }
    PrintOutcome(release, outcome);
    return 0;
}

}  // namespace ZephPack
