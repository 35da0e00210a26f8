#include "tools/zephpack/catalogue_file.h"

#include <string_view>

#include "apply/file_ops.h"
#include "apply/patch_catalogue.h"
#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"

namespace ZephPack {
namespace {

// The reader trims spaces and takes one pair of enclosing quotes off; a value that would lose
// either gets a pair of quotes of its own.
std::string Quoted(std::string_view value) {
    const bool loses = value.front() == ' ' || value.back() == ' ' ||
                       (value.size() > 1 && value.front() == '"' && value.back() == '"');
    return loses ? "\"" + std::string(value) + "\"" : std::string(value);
}

std::string ValueProblem(std::string_view value, bool isBuild) {
    if (value.empty())
        return "empty value";
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return "line break in \"" + std::string(value) + "\"";
    if (isBuild && value.find_first_of("/\\") != std::string_view::npos)
        return "build \"" + std::string(value) + "\" holds a path separator";
    return {};
}

std::string Line(const char* key, std::string_view value) {
    return std::string(key) + ": " + Quoted(value) + "\r\n";
}

}  // namespace

std::string EntryProblem(const CatalogueEntry& entry) {
    for (const auto& [value, isBuild] :
         {std::pair{&entry.fromBuild, true}, std::pair{&entry.toBuild, true},
          std::pair{&entry.url, false}}) {
        if (std::string problem = ValueProblem(*value, isBuild); !problem.empty())
            return problem;
    }
    if (entry.fromBuild == entry.toBuild)
        return "a patch from build " + entry.fromBuild + " to itself";
    return {};
}

std::string CatalogueText(const std::vector<CatalogueEntry>& entries) {
    std::string text;
    for (const CatalogueEntry& entry : entries) {
        text += (text.empty() ? "" : "\r\n") + Line("source-version", entry.fromBuild) +
                Line("target-version", entry.toBuild) + Line("patch-exe-url", entry.url) +
                Line("patch-data-url", entry.url);
        if (entry.size)
            text += Line("patch-data-size", std::to_string(*entry.size));
        if (entry.sha256)
            text += Line("patch-data-sha256", ZephPatch::Sha256Hex(*entry.sha256));
    }
    return text;
}

bool ReadCatalogueFile(const std::string& path, std::vector<CatalogueEntry>* entries,
                       std::string* error) {
    std::vector<uint8_t> bytes;
    if (!ZephPatch::ReadWholeFile(path, &bytes)) {
        *error = "cannot read " + path;
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (ZephPatch::CatalogueRecord& record : ZephPatch::ParseCatalogueRecords(text)) {
        CatalogueEntry entry{record["source-version"], record["target-version"],
                             record["patch-data-url"], std::nullopt, std::nullopt};
        if (entry.fromBuild.empty() || entry.toBuild.empty() || entry.url.empty())
            continue;
        uint64_t size = 0;
        if (ZephUtil::ParseDecimal(record["patch-data-size"], &size))
            entry.size = size;
        ZephPatch::Sha256Digest digest;
        if (ZephPatch::ParseSha256Hex(record["patch-data-sha256"], &digest))
            entry.sha256 = digest;
        entries->push_back(std::move(entry));
    }
    return true;
}

std::string LocalArchivePath(const std::string& catalogueFolder, const std::string& url) {
    if (ZephPatch::IsAbsoluteUrl(url))
        return {};
    return ZephUtil::JoinPath(catalogueFolder, ZephUtil::NormaliseSeparators(url, '/'));
}

bool MeasureArchive(const std::string& localPath, CatalogueEntry* entry, std::string* error) {
    uint64_t size = 0;
    ZephPatch::Sha256Digest digest;
    if (!ZephUtil::FileExists(localPath) || ZephUtil::IsDirectory(localPath)) {
        *error = "no archive at " + localPath;
        return false;
    }
    if (!ZephPatch::Sha256OfFile(localPath, &size, &digest)) {
        *error = "cannot read " + localPath;
        return false;
    }
    entry->size = size;
    entry->sha256 = digest;
    return true;
}

}  // namespace ZephPack
