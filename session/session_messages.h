// Catalogue texts that the session shows, by message id.
#pragma once

#include <string>

namespace ZephPatch {

enum SessionMessageId : int {
    kMsgSearchingForPatches = 141,
    kMsgNoMorePatchesAtServer = 143,
    kMsgPatchSizeUnknown = 144,
    kMsgCannotCreateTempFile = 145,
    kMsgCannotCreateTempDir = 146,
    kMsgDownloadingPatch = 147,
    kMsgDownloadFailed = 148,
    kMsgUnpacking = 149,
    kMsgUnpackFailed = 150,
    kMsgPatchingFromTo = 151,
    kMsgApplyFailed = 152,
    kMsgFilesInUse = 157,
    kMsgFilesInUseText = 158,
    kMsgFilesInUseCaption = 159,
    kMsgPatchingCompleted = 162,
    kMsgPatchingAborted = 163,
    kMsgDownloadProgressHours = 174,
    kMsgDownloadProgressMinutes = 175,
    kMsgCannotExtractPatch = 178,
    kMsgFileErrorReadingPatch = 181,
    kMsgPatchNotApplicable = 184,
    kMsgReadyForLocalPatch = 187,
    kMsgNoMorePatches = 185,
    kMsgCurrentVersion = 188,
    kMsgNotEnoughSpace = 240,
    kMsgCheckingSpace = 241,
    kMsgSpaceUnknown = 242,
    kMsgNeedsServicePack = 244,
    kMsgNeedsDirectX = 255,
#ifdef _WIN32
    kMsgRequiresAdminText = 132,
    kMsgRequiresAdminCaption = 134,
    kMsgPatchingNeedsAdmin = 154,
#else
    // Linux's wording of 132, 134 and 154: the rights come from root.
    kMsgRequiresAdminText = 300,
    kMsgRequiresAdminCaption = 301,
    kMsgPatchingNeedsAdmin = 302,
#endif
};

// The catalogue text of an id in the current language (English once a session runs), UTF-8.
[[nodiscard]] std::string SessionMessage(int id);
// The text with its first "%s" replaced by `first` and the second by `second`.
[[nodiscard]] std::string FormatMessage(int id, const std::string& first,
                                        const std::string& second = "");

// User texts without a catalogue id, shown in English whatever the language.
inline constexpr char kTextAskingForInstallation[] =
    "Unable to determine Velmor installation path. Requesting user to specify installation "
    "location.\n";
inline constexpr char kTextInstallationChoiceCancelled[] =
    "Unable to determine installation location. Aborted patching at user's request.";
inline constexpr char kTextLocateTitle[] = "Locate Velmor.exe...";
inline constexpr char kTextLocateFilter[] = "Velmor.exe";
inline constexpr char kTextInstallingLocal[] = "Installing local patches";
inline constexpr char kTextInstallingRemote[] = "Installing remote patches";
inline constexpr char kTextNextVersion[] = "Getting next version (%s)";
inline constexpr char kTextUnpacksTooLarge[] =
    "The patch archive unpacks to more than the %dMB set aside for patching.";

}  // namespace ZephPatch
