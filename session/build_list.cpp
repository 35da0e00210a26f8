#include "session/build_list.h"

#include <algorithm>
#include <filesystem>

#include "kernel/buffers/data_buffer.h"
#include "kernel/files/file_utils.h"
#include "kernel/threads/child_process.h"

namespace ZephPatch {
namespace {

constexpr uint64_t kMaxBuildListSize = 1 << 20;

// Starts the utility, drains its output and waits for it without limit; false when it
// cannot be started.
bool RunUtility(const std::string& utilityPath, const std::string& arguments) {
    // The child's own destructor closes the pipe and reaps it.
    auto child = ZephUtil::StartChildProcess(utilityPath, arguments);
    if (!child)
        return false;
    std::string output;
    while (ZephUtil::ReadChildOutput(*child, output))
        output.clear();
    ZephUtil::WaitChildProcess(*child, -1);
    return true;
}

// The utility may resolve a relative path against another folder than ours.
// Paths are UTF-8 on both systems ("/..." on Linux, "C:\\..." on Windows).
std::string AbsoluteListPath(const std::string& path) {
    if (path.empty() ||
        std::filesystem::path(std::u8string(path.begin(), path.end())).is_absolute())
        return path;
    std::error_code error;
    const std::u8string folder = std::filesystem::current_path(error).u8string();
    return error ? path : ZephUtil::JoinPath(std::string(folder.begin(), folder.end()), path);
}

bool ReadWholeFile(const std::string& path, std::string* text) {
    ZephUtil::ZephDataBufferFile file(path, ZephUtil::kFileRead);
    // A list of builds is a few hundred bytes; anything huge is not one.
    if (!file.IsOpen() || file.GetSize() > kMaxBuildListSize)
        return false;
    text->assign(file.GetSize(), '\0');
    return file.Read(text->data(), static_cast<uint32_t>(text->size())) == ZephUtil::kBufOk;
}

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Every build before a comma; line breaks around a build are not part of it, and an empty
// entry is no build.
int AddBuildsOf(PatchSettings& settings, std::string_view text) {
    int count = 0;
    for (size_t comma; (comma = text.find(',')) != std::string_view::npos;
         text.remove_prefix(comma + 1)) {
        const std::string_view build = TrimBlanks(text.substr(0, comma));
        if (build.empty())
            continue;
        AddInstalledBuild(settings, build);
        ++count;
    }
    return count;
}

}  // namespace

bool ListBuilds(const std::string& utilityPath, const std::string& buildListPath,
                PatchSettings& settings, Reporter& reporter) {
    const std::string listPath = AbsoluteListPath(buildListPath);
    if (!RunUtility(utilityPath, "listbuilds \"" + listPath + "\" norender"))
        return false;
    std::string text;
    if (!ReadWholeFile(listPath, &text))
        return false;
    const int count = AddBuildsOf(settings, text);
    reporter.Report(ReportLevel::kDetail, std::to_string(count) + " builds found {" + text + "}");
    // A later call must see the utility's fresh list, never this one.
    (void)ZephUtil::DeleteFileAt(listPath);  // best effort
    RunUtility(utilityPath, "closevaddaemon -nostartvaddaemon norender");
    return count > 0;
}

std::string CurrentBuild(const PatchSettings& settings) {
    const auto& builds = settings.installedBuilds;
    return builds.empty() ? std::string() : builds.front();
}

bool DropCurrentBuild(PatchSettings& settings) {
    auto& builds = settings.installedBuilds;
    if (builds.empty())
        return false;
    builds.erase(builds.begin());
    return !builds.empty();
}

void MakeCurrentBuild(PatchSettings& settings, const std::string& build) {
    auto& builds = settings.installedBuilds;
    builds.erase(std::remove(builds.begin(), builds.end(), build), builds.end());
    builds.insert(builds.begin(), build);
}

std::string InstalledBuildsText(const PatchSettings& settings) {
    std::string builds;
    for (const auto& build : settings.installedBuilds)
        builds += build + " ";
    return builds;
}

}  // namespace ZephPatch
