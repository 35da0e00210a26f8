// "patches.txt": lines, records, keys and values, and the entries they make.
#include "apply/patch_catalogue.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"

namespace ZephPatch {
namespace {

// CR LF and LF CR are one line end; any other pair makes an empty line between them.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        const char partner = c == '\r' ? '\n' : '\r';
        if (i + 1 < text.size() && text[i + 1] == partner)
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// Only the space character: a tab is part of the text.
std::string_view TrimSpaces(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

// False when a line has no colon, which spoils the whole record.
bool ParseRecord(const std::vector<std::string_view>& lines, CatalogueRecord* record) {
    for (std::string_view raw : lines) {
        const std::string_view line = TrimSpaces(raw);
        if (line.empty())
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return false;
        std::string_view value = TrimSpaces(line.substr(colon + 1));
        if (value.size() > 1 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        (*record)[Lower(TrimSpaces(line.substr(0, colon)))] = value;
    }
    return true;
}

std::optional<uint64_t> SizeValue(const std::string& text) {
    uint64_t size = 0;
    return ZephUtil::ParseDecimal(text, &size) ? std::optional(size) : std::nullopt;
}

std::optional<Sha256Digest> DigestValue(const std::string& text) {
    Sha256Digest digest;
    return ParseSha256Hex(text, &digest) ? std::optional(digest) : std::nullopt;
}

}  // namespace

bool IsAbsoluteUrl(std::string_view url) {
    const std::string start = Lower(url.substr(0, 8));
    return start.starts_with("ftp://") || start.starts_with("http://") ||
           start.starts_with("https://");
}

std::vector<CatalogueRecord> ParseCatalogueRecords(std::string_view text) {
    const std::vector<std::string_view> lines = SplitLines(text);
    std::vector<CatalogueRecord> records;
    for (size_t i = 0; i < lines.size();) {
        if (lines[i].empty()) {
            ++i;
            continue;
        }
        std::vector<std::string_view> recordLines;
        while (i < lines.size() && !lines[i].empty())
            recordLines.push_back(lines[i++]);
        CatalogueRecord record;
        if (ParseRecord(recordLines, &record))
            records.push_back(std::move(record));
    }
    return records;
}

bool PatchCatalogue::ParseCatalogue(std::string_view text, const std::string& serverBaseUrl) {
    bool stored = false;
    for (CatalogueRecord& record : ParseCatalogueRecords(text)) {
        const std::string& source = record["source-version"];
        const std::string& target = record["target-version"];
        const std::string& exeUrl = record["patch-exe-url"];
        std::string dataUrl = record["patch-data-url"];
        if (source.empty() || target.empty() || exeUrl.empty() || dataUrl.empty() ||
            // Builds become part of the temporary archive's file name.
            !ZephUtil::IsSafeNamePart(source) || !ZephUtil::IsSafeNamePart(target))
            continue;
        if (!IsAbsoluteUrl(dataUrl)) {
            if (serverBaseUrl.empty())
                continue;
            dataUrl =
                ZephUtil::JoinPath(serverBaseUrl, ZephUtil::NormaliseSeparators(dataUrl, '/'));
        }
        m_entries[source] =
            PatchCatalogueEntry{target, exeUrl, dataUrl, SizeValue(record["patch-data-size"]),
                                DigestValue(record["patch-data-sha256"])};
        stored = true;
    }
    return stored;
}

const PatchCatalogueEntry* PatchCatalogue::FindPatch(const std::string& sourceBuild) const {
    const auto found = m_entries.find(sourceBuild);
    return found == m_entries.end() ? nullptr : &found->second;
}

}  // namespace ZephPatch
