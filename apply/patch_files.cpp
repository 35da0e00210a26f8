#include <optional>

#include "apply/md5.h"
#include "apply/messages.h"
#include "apply/patch_stage.h"
#include "apply/patch_tool.h"
#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "kernel/reporter.h"

namespace ZephPatch {
namespace {

// Asset files: the first ".oa" of the file name ends it ("x.oa", not "x.oa.oa").
bool IsAssetFileName(const std::string& name) {
    const size_t found = name.find(".oa");
    return found != std::string::npos && found + 3 == name.size();
}

enum class FileState { kToPatch, kDone, kFailed };

std::optional<std::string> DigestOf(const std::string& file) {
    std::string digest;
    if (!FileMd5Hex(file, &digest))
        return std::nullopt;
    return digest;
}

// Decides from the installed file's digest whether it still needs the patch.
FileState CheckDigest(const PatchListEntry& entry, const std::string& target,
                      const std::optional<std::string>& digest, Reporter& reporter) {
    if (!digest) {
        Report(reporter, ReportLevel::kError,
               [&] { return MessageText(kTextChecksumFailed) + target; });
        return FileState::kFailed;
    }
    if (*digest == entry.checksumAfter) {
        if (entry.checksumAfter != entry.checksumBefore) {
            Report(reporter, ReportLevel::kInfo,
                   [&] { return MessageText(kTextPatchedAlready) + target; });
        }
        return FileState::kDone;
    }
    if (*digest != entry.checksumBefore) {
        Report(reporter, ReportLevel::kError, [&] { return MessageText(kTextDamaged) + target; });
        return FileState::kFailed;
    }
    return FileState::kToPatch;
}

// Runs the tool that rebuilds `target` from its backup; true when it did.
bool RebuildFile(const ToolCommand& command, const std::string& bin, bool converter,
                 const PatchListEntry& entry, const std::string& backup, const std::string& target,
                 Reporter& reporter) {
    int exitCode = 0;
    if (!RunTool(command, bin, &exitCode)) {
        Report(reporter, ReportLevel::kStep,
               [&] { return MessageText(kTextFailedPatchCommand) + command.commandLine; });
        return false;
    }
    if (exitCode != 0) {
        Report(reporter, ReportLevel::kError,
               [&] { return ToolExitMessage(exitCode, converter, entry.path); });
        return false;
    }
    // The tool writes a new file: the patched one keeps the old one's mode.
    // The file was just written by the tool, so it is ours to change.
    (void)ZephUtil::CopyPermissions(backup, target);
    return true;
}

}  // namespace

bool PatchFiles::UsesConverter(const std::string& relative) const {
    return IsAssetFileName(ZephUtil::FileNamePart(relative)) &&
           ZephUtil::FileExists(m_context.binFolder + kConverterName);
}

void PatchFiles::Prepare(const std::vector<PatchListEntry>& entries, OrderedEntries& ordered) {
    m_digests.clear();
    for (const PatchListEntry& entry : entries) {
        std::string relative;
        if (ZephUtil::ToSafeRelativePath(entry.path, &relative) && !UsesConverter(relative)) {
            m_digests[entry.path] =
                ordered.Pool().Submit([target = TargetOf(relative)] { return DigestOf(target); });
        }
    }
}

bool PatchFiles::Execute(const PatchListEntry& entry, const std::string& relative,
                         Reporter& reporter, OrderedEntries& ordered) {
    const std::string& bin = m_context.binFolder;
    const bool converter = UsesConverter(relative);
    const std::string target = TargetOf(relative);
    const std::string backup = target + kBackupSuffix;
    const std::string difference =
        converter
            ? SourceOf(ZephUtil::PathStem(relative) + "-diff." + ZephUtil::PathExtension(relative))
            : SourceOf(relative) + ".diff";

    if (!converter) {
        auto ahead = m_digests.find(entry.path);
        const auto digest = ahead != m_digests.end() ? ahead->second.get() : DigestOf(target);
        const FileState state = CheckDigest(entry, target, digest, reporter);
        if (state != FileState::kToPatch)
            return state == FileState::kDone;
    }
    if (!MoveToBackup(relative)) {
        Report(reporter, ReportLevel::kError,
               [&] { return FormatMessage(kTextFailedToCreateBackup, backup); });
        return false;
    }
    if (!EnsureFolderOf(target, reporter))
        return false;

    // The tool reads the old content from the backup and writes the new file in its place;
    // each entry has its own files, so the runs overlap.
    ordered.Defer([=, &entry](Reporter& entryReporter) {
        const ToolCommand command = converter ? ConverterCommand(bin, backup, difference, target)
                                              : PatchToolCommand(bin, backup, difference, target);
        return RebuildFile(command, bin, converter, entry, backup, target, entryReporter);
    });
    return true;
}

}  // namespace ZephPatch
