// The installer's user texts: a string table in four languages, looked up by message id, and
// the fixed English texts that some screens use whatever the language.
//
// The table is built from app/resources/messages.txt into string blocks: block id / 16 + 1
// holds ids 16 * (block - 1) to 16 * block - 1, each entry a 16-bit count followed by that many
// UTF-16 code units. A lookup walks the block of the current language to the id's entry.
// Lookups are safe for concurrent use; the language is one process-wide setting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
// <windows.h> makes FormatMessage a macro for its own FormatMessageA/W. It comes in here first
// (after <winsock2.h>, as the sockets want it), so that the macro can go for good and the
// catalogue's FormatMessage below keeps its name in every file, whatever it includes later.
#include <winsock2.h>

#include <windows.h>
#undef FormatMessage
#endif

namespace ZephPatch {

// Language ids of the table (the Windows numbering). Neutral follows the user's locale.
constexpr uint16_t LANGUAGE_NEUTRAL = 0;
constexpr uint16_t LANGUAGE_ENGLISH = 9;
constexpr uint16_t LANGUAGE_GERMAN = 1031;
constexpr uint16_t LANGUAGE_FRENCH = 1036;
constexpr uint16_t LANGUAGE_RUSSIAN = 1049;

// Callers that load into a buffer supply this many UTF-16 units; every text fits with its
// terminator.
constexpr size_t MESSAGE_BUFFER_SIZE = 256;

// Sets the process-wide language for every later lookup on every thread. The patch worker
// sets LANGUAGE_ENGLISH when it starts; the process starts with LANGUAGE_NEUTRAL.
void SetMessageLanguage(uint16_t language);
[[nodiscard]] uint16_t GetMessageLanguage();

// The table language the locale asks for: the first set of LC_ALL, LC_MESSAGES and LANG
// ("de_DE.UTF-8" -> German, "fr..." -> French, "ru..." -> Russian, anything else -> English).
[[nodiscard]] uint16_t LanguageFromLocale();

// The text of `id` in the current language; empty when the id has no entry. With the neutral
// language the locale chooses, and an entry the chosen language lacks (233 in German) comes
// from English, as the platform's resource fallback gives it. With an explicit language only
// that language's entry counts.
[[nodiscard]] std::u16string LoadMessageU16(int id);
// The same text in UTF-8.
[[nodiscard]] std::string LoadMessage(int id);
// Copies the text into `buffer` (`capacity` units, at least 1), cut to fit, terminated with a
// zero unit. Returns `buffer`.
[[nodiscard]] char16_t* LoadMessageInto(int id, char16_t* buffer, size_t capacity);

// The fixed English texts (UTF-8), shown as they are in every language; the catalogue id
// of each follows its name.
inline constexpr char MSG_APPLY_UPDATE[] = "Apply Update";                          // 190
inline constexpr char MSG_CANCEL[] = "Cancel";                                      // 191
inline constexpr char MSG_EXIT[] = "Exit";                                          // 192
inline constexpr char MSG_CONFIRM_CANCEL[] = "Do you really want to cancel?";       // 193
inline constexpr char MSG_CANCELLING[] = "Cancelling patch process...";             // 194
inline constexpr char MSG_BROWSE_NEW_VERSION[] = "Browse to the new version path";  // 195
inline constexpr char MSG_CANNOT_OPEN_PATCH_FOR_WRITING[] =
    "Unable to open the patch file for writing: ";                                          // 196
inline constexpr char MSG_CANNOT_DOWNLOAD_PATCH[] = "Unable to download patch file: ";      // 197
inline constexpr char MSG_NO_PATCH_SERVER[] = "Unable to connect to any patch servers.";    // 198
inline constexpr char MSG_SUCCESS_SUFFIX[] = "... Success";                                 // 199
inline constexpr char MSG_FAILED_SUFFIX[] = "... Failed";                                   // 200
inline constexpr char MSG_CANNOT_CREATE_DIRECTORY[] = "Could not create the directory: ";   // 201
inline constexpr char MSG_DIFF_COMMAND[] = "Diff command: ";                                // 202
inline constexpr char MSG_CANNOT_CREATE_PROCESS[] = "Could not create the process";         // 203
inline constexpr char MSG_BZIP2_COMMAND[] = "Bzip2 command: ";                              // 204
inline constexpr char MSG_ARCHIVE_COMMAND[] = "Archive command: ";                          // 205
inline constexpr char MSG_THE_FILE[] = "The file: ";                                        // 206
inline constexpr char MSG_NOT_OPENED_FOR_WRITING[] = " could not be opened for writing";    // 207
inline constexpr char MSG_IDENTICAL[] = "Identical: ";                                      // 208
inline constexpr char MSG_CHECKSUM[] = " checksum:";                                        // 209
inline constexpr char MSG_PATCHING[] = "Patching: ";                                        // 210
inline constexpr char MSG_TO_BE_ADDED[] = "To be added: ";                                  // 212
inline constexpr char MSG_TO_BE_DELETED[] = "To be deleted: ";                              // 213
inline constexpr char MSG_CANNOT_WRITE_FILE[] = "Could not write the file: ";               // 214
inline constexpr char MSG_PROPERLY[] = " properly";                                         // 215
inline constexpr char MSG_ADDING[] = "Adding: ";                                            // 216
inline constexpr char MSG_FAILED_ADDING[] = "Failed adding: ";                              // 217
inline constexpr char MSG_REMOVING[] = "Removing: ";                                        // 218
inline constexpr char MSG_CANNOT_DELETE[] = "Could not delete: ";                           // 219
inline constexpr char MSG_ALREADY_REMOVED[] = "File seems to have been removed already: ";  // 220
inline constexpr char MSG_CANNOT_COPY_FILE[] = "Could not copy the file: ";                 // 221
inline constexpr char MSG_CHECKSUM_FAILED[] =
    "Failed to compute the checksum for existing file: ";  // 222
inline constexpr char MSG_ALREADY_PATCHED[] =
    "Existing file appears to have been patched already: ";  // 223
inline constexpr char MSG_FILE_DAMAGED[] =
    "Existing file is damaged and cannot be patched: ";                               // 224
inline constexpr char MSG_FAILED_CREATING_PROCESS[] = "Failed creating the process";  // 225
inline constexpr char MSG_FAILED_PATCH_COMMAND[] = "Failed patch command: ";          // 226
inline constexpr char MSG_NOT_ENOUGH_ARGUMENTS[] =
    "Not enough Argument Specified to patch the file";  // 227
inline constexpr char MSG_CANNOT_OPEN_DATA_FILE[] =
    "Could not open data file %s for reading.";  // 228
inline constexpr char MSG_CANNOT_OPEN_PATCH_FILE[] =
    "Could not open patch file %s for reading.";  // 229
inline constexpr char MSG_CANNOT_OPEN_OUTPUT_FILE[] =
    "Could not open output file for writing.";                             // 230
inline constexpr char MSG_OK_FAILED_COUNTS[] = "NumOk: %d NumFailed: %d";  // 231
inline constexpr char MSG_COULD_NOT_OPEN[] = "Could not open: ";           // 232
inline constexpr char MSG_UNKNOWN_PATCH_ERROR[] =
    "An unknown error (%d) occurred while patching file %s";  // 233
inline constexpr char MSG_FOR_READING_MAYBE_MISSING[] =
    " for reading. The file might not be present";                                         // 234
inline constexpr char MSG_CANNOT_DOWNLOAD_FILE[] = "Could not download the file: ";        // 235
inline constexpr char MSG_CANNOT_READ_CHECKSUMS[] = "Could not read the checksum file: ";  // 236
inline constexpr char MSG_REPLACE_MISSING[] = "Need to replace missing file: ";            // 237
inline constexpr char MSG_REPLACE_MODIFIED[] = "Need to replace modified file: ";          // 238
inline constexpr char MSG_ABORTING[] = "Aborting.";                                        // 239
inline constexpr char MSG_CANCEL_AFTER_PATCHES[] =
    "Warning: One or more patches have been successfully installed cancelling now will not revert "
    "these changes.\nFurthermore the asset database will still need to be updated before Velmor "
    "can be played.\nAre you sure you want to cancel?";  // 243
inline constexpr char MSG_NEEDS_SERVICE_PACK[] =
    "This patch installer requires at least Service Pack 3 for Windows XP. \nThe patch can be "
    "retried once the Service Pack is installed.";  // 244
inline constexpr char MSG_NEEDS_DIRECTX[] =
    "This version of Velmor requires the August 2009 release of DirectX9. \nThe patch can be "
    "retried once DirectX is updated.";  // 255
inline constexpr char MSG_CONTENTS_MISMATCH[] = "Failed to patch %s, file contents do not match";
inline constexpr char MSG_BACKUP_FAILED[] = "Failed to create backup of file %s";
inline constexpr char MSG_RESTORE_FAILED[] = "Failed to restore backup file %s";

}  // namespace ZephPatch
