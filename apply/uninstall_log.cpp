#include "apply/uninstall_log.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include "apply/file_ops.h"
#include "apply/messages.h"
#include "apply/patch_list.h"
#include "apply/uninstall_log_format.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"
#include "kernel/system/text.h"

namespace ZephPatch {
namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The added files' paths, or none when the list cannot be used (reported).
std::vector<PatchListEntry> ReadAddedFiles(const std::string& patchFolder, Reporter& reporter) {
    const std::string list = ZephUtil::JoinPath(patchFolder, kAddedFilesList);
    std::vector<PatchListEntry> entries;
    // Left empty when it fails, which it has reported.
    (void)ReadPatchListOrReport(list, &entries, reporter);
    return entries;
}

// Reads the log the way it will be replaced: opened for reading and writing, so that a log
// the process may not change counts as no log.
bool ReadWritableLog(const std::string& path, std::vector<uint8_t>* bytes) {
    std::unique_ptr<FILE, FileCloser> file(ZephUtil::OpenStream(path, "r+b"));
    if (!file)
        return false;
    bytes->clear();
    uint8_t chunk[16 * 1024];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    return !std::ferror(file.get());
}

// The added file's full path as the uninstaller reads it, with the system's own separators.
std::string RecordedPath(const std::string& installFolder, const std::string& listed) {
    constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
    const std::string path =
        ZephUtil::JoinPath(installFolder, ZephUtil::NormaliseSeparators(listed, kSeparator));
    return kSeparator == '/' ? path : ZephUtil::NormaliseSeparators(path, kSeparator);
}

}  // namespace

bool UpdateUninstallLog(const std::string& installFolder, const std::string& patchFolder,
                        Reporter& reporter) {
    const std::vector<PatchListEntry> added = ReadAddedFiles(patchFolder, reporter);
    if (added.empty())
        return true;

    const std::string logPath = ZephUtil::JoinPath(installFolder, kUninstallLogName);
    std::vector<uint8_t> log;
    if (!ReadWritableLog(logPath, &log))
        return true;

    std::vector<uint8_t> records;
    for (const PatchListEntry& entry : added) {
        const std::vector<uint8_t> record = DeleteFileRecord(ZephUtil::ToNarrowString(
            ZephUtil::Utf8ToUtf16(RecordedPath(installFolder, entry.path))));
        records.insert(records.end(), record.begin(), record.end());
    }
    std::vector<uint8_t> extended;
    if (ExtendUninstallLog(log, records, static_cast<uint32_t>(added.size()), &extended) !=
        LogExtendResult::kOk) {
        Report(reporter, ReportLevel::kInfo,
               [&] { return MessageText(kTextUninstallLogNotRecognised) + logPath; });
        return true;
    }

    const std::string tempPath = ZephUtil::JoinPath(installFolder, kUninstallLogTempName);
    if (!WriteFileSynced(tempPath, extended) || !ZephUtil::RenameReplacing(tempPath, logPath)) {
        (void)ZephUtil::DeleteFileAt(tempPath);  // best effort: the old log is still in place
        return false;
    }
    // The log is replaced either way; this only hastens it to the disk.
    (void)SyncDirectory(installFolder);
    return true;
}

}  // namespace ZephPatch
