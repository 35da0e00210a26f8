// Every user text the applier shows, in one place, with its message catalogue id (0 for the
// texts of ours that have none). The English texts are the fixed ones the applier uses.
#pragma once

#include <string>

namespace ZephPatch {

struct FixedText {
    int id;
    const char* english;
};

inline constexpr FixedText kTextCouldNotOpen{232, "Could not open: "};
inline constexpr FixedText kTextForReadingMightNotBePresent{
    234, " for reading. The file might not be present"};
inline constexpr FixedText kTextCouldNotCreateDirectory{201, "Could not create the directory: "};
inline constexpr FixedText kTextFailedToCreateBackup{0, "Failed to create backup of file %s"};
inline constexpr FixedText kTextCouldNotCopy{221, "Could not copy the file: "};
inline constexpr FixedText kTextFailedAdding{217, "Failed adding: "};
inline constexpr FixedText kTextEllipsis{211, "..."};
inline constexpr FixedText kTextCouldNotDelete{219, "Could not delete: "};
inline constexpr FixedText kTextRemovedAlready{220, "File seems to have been removed already: "};
inline constexpr FixedText kTextChecksumFailed{
    222, "Failed to compute the checksum for existing file: "};
inline constexpr FixedText kTextPatchedAlready{
    223, "Existing file appears to have been patched already: "};
inline constexpr FixedText kTextDamaged{224, "Existing file is damaged and cannot be patched: "};
inline constexpr FixedText kTextFailedPatchCommand{226, "Failed patch command: "};
inline constexpr FixedText kTextNotEnoughArguments{
    227, "Not enough Argument Specified to patch the file"};
inline constexpr FixedText kTextConverterMismatch{0,
                                                  "Failed to patch %s, file contents do not match"};
inline constexpr FixedText kTextCouldNotOpenData{228, "Could not open data file %s for reading."};
inline constexpr FixedText kTextCouldNotOpenPatch{229, "Could not open patch file %s for reading."};
inline constexpr FixedText kTextCouldNotOpenOutput{230, "Could not open output file for writing."};
inline constexpr FixedText kTextUnknownError{
    233, "An unknown error (%d) occurred while patching file %s"};
inline constexpr FixedText kTextFailedToRestore{0, "Failed to restore backup file %s"};

// Refusals of bad patch lists, before anything is touched.
inline constexpr FixedText kTextListDamaged{
    0, "The patch list is damaged (its lines do not make whole entries): "};
inline constexpr FixedText kTextListUnsafePath{
    0, "The patch list names a file outside the installation folder: "};
inline constexpr FixedText kTextListDuplicate{0, "The patch lists name a file more than once: "};

// Recovery of an application that was interrupted (process killed, power lost).
inline constexpr FixedText kTextInterruptedUndone{0, "An interrupted patch was undone in: "};
inline constexpr FixedText kTextInterruptedCompleted{0, "An interrupted patch was completed in: "};
inline constexpr FixedText kTextInterruptedStuck{
    0, "An interrupted patch could not be undone; nothing was changed in: "};

// The uninstall log is left alone when its layout is not the expected one.
inline constexpr FixedText kTextUninstallLogNotRecognised{
    0, "The uninstall log was left unchanged because its layout was not recognised: "};

// The text shown for a fixed text.
inline std::string MessageText(const FixedText& text) {
    return text.english;
}

// The text with its placeholders filled by printf rules: "%s", or "%d" then "%s".
std::string FormatMessage(const FixedText& text, const std::string& name);
std::string FormatMessage(const FixedText& text, int code, const std::string& name);

}  // namespace ZephPatch
