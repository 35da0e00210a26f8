// How a patch session ended, for a front end that tells more than "completed" or "aborted"
// (the console's exit status).
#pragma once

namespace ZephPatch {

enum class SessionOutcome {
    kCompleted,        // patched, already at the newest build, or repaired
    kFailed,           // a check, a patch or the repair failed; no patch is left half applied
    kNetworkFailed,    // no patch or repair server could be used, or a download failed
    kNotInstallation,  // the folder is missing or holds no installation of the product
    kFilesInUse,       // the product's programs keep their files
    kNoRights,         // this process may not change the installation
    kCancelled,        // the user (or the session's owner) stopped it
};

}  // namespace ZephPatch
