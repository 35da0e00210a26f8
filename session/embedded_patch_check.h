// `CheckEmbeddedPatches`: the check at start-up (and when the user points at another
// installation) that turns standalone patching on when the executable carries a patch for
// one of the installed builds.
#pragma once

#include <functional>
#include <string>

#include "kernel/reporter.h"
#include "package/embedded_patch_container.h"
#include "session/patch_settings.h"

namespace ZephPatch {

// What the check needs from the front end and the application shell.
struct EmbeddedCheckHost {
    explicit EmbeddedCheckHost(Reporter& lines) : reporter(lines) {}

    // The check's lines, on the calling thread.
    Reporter& reporter;
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
    // When set, an installation already at a build the patches lead to (with none starting
    // from it) is told through this, with that build, instead of as not applicable.
    std::function<void(const std::string& build)> upToDate;
};

enum class EmbeddedCheckResult {
    kNoContainer,     // the executable carries no patches (nothing reported)
    kRepairAsked,     // repair mode: the patches are left alone (nothing reported)
    kUnreadable,      // the container cannot be read
    kNoInstallation,  // the user cancelled the choice, or the folder is no installation
    kInUse,           // another installer holds the installation (files-in-use message shown)
    kStuck,           // an interrupted patch could not be settled (reported)
    kNotApplicable,   // no installed build has a patch
    kUpToDate,        // the installation is at the end of the patches' chain
    kReady,           // standalone patching is on
};

// Opens the container of `executablePath` and lists the builds of the installation: the one
// `settings` names (given on the command line or found in the registry) or, when there is
// none or with `askUser`, one the user chooses (a "Velmor.exe" or the installation's folder).
// The installation is settled and held by this process first (SettleInstallation; one that
// another installer holds gets the files-in-use message and is not touched). When some build
// has an embedded patch: sets `localPatchesReady`, clears `targetBuild` and
// `repairMode`, and narrows `installedBuilds` to those builds in directory order (kReady).
// In repair mode without `askUser` nothing is checked: the user asked for a repair. Runs on
// the main thread while no patch worker runs.
[[nodiscard]] EmbeddedCheckResult CheckEmbeddedPatches(EmbeddedPatchContainer& container,
                                                       PatchSettings& settings,
                                                       const std::string& executablePath,
                                                       bool askUser, const EmbeddedCheckHost& host);

// The installation folder for a chosen "Velmor.exe": its folder, or the parent of that folder
// when it is named "bin"; always ending with a separator. A chosen folder is the installation
// itself (or, when named "bin", its parent).
[[nodiscard]] std::string InstallationOfChosenFile(const std::string& file);

}  // namespace ZephPatch
