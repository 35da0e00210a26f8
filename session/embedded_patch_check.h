// `CheckEmbeddedPatches`: the check at start-up (and when the user points at another
// installation) that turns standalone patching on when the executable carries a patch for
// one of the installed builds.
#pragma once

#include <functional>
#include <string>

#include "session/embedded_patch_container.h"
#include "session/message_report.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// What the check needs from the front end and the application shell.
struct EmbeddedCheckHost {
    MessageReport report;
    // The open-file dialog; false when the user cancels. Stores the chosen file's path.
    std::function<bool(const std::string& title, const std::string& filter, std::string* file)>
        chooseFile;
    // Enables the control for choosing another installation.
    std::function<void()> enableChooseInstallation;
    // Enables "Apply Update".
    std::function<void()> enableApplyUpdate;
    // The installation the registry names, or empty.
    std::function<std::string()> findInstallPath;
    // A message box (text, caption); returns once the user has seen it.
    std::function<void(const std::string& text, const std::string& caption)> showMessageBox;
};

// Opens the container of `executablePath`, lists the installed builds (asking the user for
// the installation when the registry names none, or always with `askUser`) once the
// installation is settled and held by this process (SettleInstallation; one that another
// installer holds gets the files-in-use message and is not touched), and when some
// build has an embedded patch: sets `localPatchesReady`, clears `targetBuild` and
// `repairMode`, and narrows `installedBuilds` to those builds in directory order. True
// exactly then. Runs on the main thread while no patch worker runs.
bool CheckEmbeddedPatches(EmbeddedPatchContainer& container, const std::string& executablePath,
                          bool askUser, const EmbeddedCheckHost& host);

// The installation folder for a chosen "Velmor.exe": its folder, or the parent of that folder
// when it is named "bin"; always ending with a separator.
std::string InstallationOfChosenFile(const std::string& file);

}  // namespace ZephPatch
