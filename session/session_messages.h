// Catalogue texts that the session shows, by message id.
#pragma once

#include <string>

namespace ZephPatch {

enum SessionMessageId : int {
    kMsgFileErrorReadingPatch = 181,
    kMsgPatchNotApplicable = 184,
    kMsgReadyForLocalPatch = 187,
    kMsgCurrentVersion = 188,
};

// The text of a catalogue id in English, UTF-8; empty for an id the session does not use.
std::string SessionMessage(int id);

// User texts without a catalogue id, shown in English whatever the language.
inline constexpr char kTextAskingForInstallation[] =
    "Unable to determine Velmor installation path. Requesting user to specify installation "
    "location.\n";
inline constexpr char kTextInstallationChoiceCancelled[] =
    "Unable to determine installation location. Aborted patching at user's request.";
inline constexpr char kTextLocateTitle[] = "Locate Velmor.exe...";
inline constexpr char kTextLocateFilter[] = "Velmor.exe";

}  // namespace ZephPatch
