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

// Decides from the installed file's digest whether it still needs the patch.
FileState CheckDigest(const PatchListEntry& entry, const std::string& target, Reporter& reporter) {
    std::string digest;
    if (!FileMd5Hex(target, &digest)) {
        Report(reporter, ReportLevel::kError,
               [&] { return MessageText(kTextChecksumFailed) + target; });
        return FileState::kFailed;
    }
    if (digest == entry.checksumAfter) {
        if (entry.checksumAfter != entry.checksumBefore) {
            Report(reporter, ReportLevel::kInfo,
                   [&] { return MessageText(kTextPatchedAlready) + target; });
        }
        return FileState::kDone;
    }
    if (digest != entry.checksumBefore) {
        Report(reporter, ReportLevel::kError, [&] { return MessageText(kTextDamaged) + target; });
        return FileState::kFailed;
    }
    return FileState::kToPatch;
}

}  // namespace

bool PatchFiles::Execute(const PatchListEntry& entry, const std::string& relative) {
    const std::string& bin = m_context.binFolder;
    const bool converter = IsAssetFileName(ZephUtil::FileNamePart(relative)) &&
                           ZephUtil::FileExists(bin + kConverterName);
    const std::string target = TargetOf(relative);
    const std::string backup = target + kBackupSuffix;
    const std::string difference =
        converter
            ? SourceOf(ZephUtil::PathStem(relative) + "-diff." + ZephUtil::PathExtension(relative))
            : SourceOf(relative) + ".diff";

    if (!converter) {
        const FileState state = CheckDigest(entry, target, m_context.reporter);
        if (state != FileState::kToPatch)
            return state == FileState::kDone;
    }
    if (!MoveToBackup(relative)) {
        Report(m_context.reporter, ReportLevel::kError,
               [&] { return FormatMessage(kTextFailedToCreateBackup, backup); });
        return false;
    }
    if (!EnsureFolderOf(target))
        return false;

    // The tool reads the old content from the backup and writes the new file in its place.
    const ToolCommand command = converter ? ConverterCommand(bin, backup, difference, target)
                                          : PatchToolCommand(bin, backup, difference, target);
    int exitCode = 0;
    if (!RunTool(command, bin, &exitCode)) {
        Report(m_context.reporter, ReportLevel::kStep,
               [&] { return MessageText(kTextFailedPatchCommand) + command.commandLine; });
        return false;
    }
    if (exitCode != 0) {
        Report(m_context.reporter, ReportLevel::kError,
               [&] { return ToolExitMessage(exitCode, converter, entry.path); });
        return false;
    }
    // The tool writes a new file: the patched one keeps the old one's mode.
    ZephUtil::CopyPermissions(backup, target);
    return true;
}

}  // namespace ZephPatch
