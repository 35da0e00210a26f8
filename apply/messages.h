// Every user text the applier shows, in one place, with its message catalogue id (0 for the
// texts of ours that have none). Most are the catalogue's fixed English texts.
#pragma once

#include <string>

#include "kernel/messages/message_catalogue.h"

namespace ZephPatch {

struct FixedText {
    int id;
    const char* english;
};

inline constexpr FixedText kTextCouldNotOpen{232, MSG_COULD_NOT_OPEN};
inline constexpr FixedText kTextForReadingMightNotBePresent{234, MSG_FOR_READING_MAYBE_MISSING};
inline constexpr FixedText kTextCouldNotCreateDirectory{201, MSG_CANNOT_CREATE_DIRECTORY};
inline constexpr FixedText kTextFailedToCreateBackup{0, MSG_BACKUP_FAILED};
inline constexpr FixedText kTextCouldNotCopy{221, MSG_CANNOT_COPY_FILE};
inline constexpr FixedText kTextFailedAdding{217, MSG_FAILED_ADDING};
inline constexpr FixedText kTextEllipsis{211, "..."};
inline constexpr FixedText kTextCouldNotDelete{219, MSG_CANNOT_DELETE};
inline constexpr FixedText kTextRemovedAlready{220, MSG_ALREADY_REMOVED};
inline constexpr FixedText kTextChecksumFailed{222, MSG_CHECKSUM_FAILED};
inline constexpr FixedText kTextPatchedAlready{223, MSG_ALREADY_PATCHED};
inline constexpr FixedText kTextDamaged{224, MSG_FILE_DAMAGED};
inline constexpr FixedText kTextFailedPatchCommand{226, MSG_FAILED_PATCH_COMMAND};
inline constexpr FixedText kTextNotEnoughArguments{227, MSG_NOT_ENOUGH_ARGUMENTS};
inline constexpr FixedText kTextConverterMismatch{0, MSG_CONTENTS_MISMATCH};
inline constexpr FixedText kTextCouldNotOpenData{228, MSG_CANNOT_OPEN_DATA_FILE};
inline constexpr FixedText kTextCouldNotOpenPatch{229, MSG_CANNOT_OPEN_PATCH_FILE};
inline constexpr FixedText kTextCouldNotOpenOutput{230, MSG_CANNOT_OPEN_OUTPUT_FILE};
inline constexpr FixedText kTextUnknownError{233, MSG_UNKNOWN_PATCH_ERROR};
inline constexpr FixedText kTextFailedToRestore{0, MSG_RESTORE_FAILED};

// Refusals of bad patch lists, before anything is touched.
inline constexpr FixedText kTextListDamaged{
    0, "The patch list is damaged (its lines do not make whole entries): "};
inline constexpr FixedText kTextListTooLarge{
    0, "The patch list is too large (over 32 MiB or 250000 entries): "};
inline constexpr FixedText kTextListUnsafePath{
    0, "The patch list names a file outside the installation folder: "};
inline constexpr FixedText kTextListDuplicate{0, "The patch lists name a file more than once: "};
inline constexpr FixedText kTextListBackupName{
    0, "The patch list names a backup file, which only the installer may make: "};

// Recovery of an application that was interrupted (process killed, power lost).
inline constexpr FixedText kTextInterruptedUndone{0, "An interrupted patch was undone in: "};
inline constexpr FixedText kTextInterruptedCompleted{0, "An interrupted patch was completed in: "};
inline constexpr FixedText kTextInterruptedStuck{
    0, "An interrupted patch could not be undone; nothing was changed in: "};

// The uninstall log is left alone when its layout is not the expected one.
inline constexpr FixedText kTextUninstallLogNotRecognised{
    0, "The uninstall log was left unchanged because its layout was not recognised: "};

// The text shown: the fixed English one, except for the ellipsis, which the catalogue gives in
// the current language.
[[nodiscard]] inline std::string MessageText(const FixedText& text) {
    return text.id == kTextEllipsis.id ? LoadMessage(text.id) : text.english;
}

// The text with its placeholders filled by printf rules: "%s", or "%d" then "%s".
[[nodiscard]] std::string FormatMessage(const FixedText& text, const std::string& name);
[[nodiscard]] std::string FormatMessage(const FixedText& text, int code, const std::string& name);

}  // namespace ZephPatch
