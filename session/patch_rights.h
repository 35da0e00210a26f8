// Whether this process may patch the installation: the rights test run at start-up (to decide
// on an elevated relaunch) and again by the patch worker before it changes anything.
#pragma once

#include <string>

namespace ZephPatch {

// The folder for temporary files: $TEMP, else $TMPDIR, else /tmp; on Windows %TEMP%, else
// C:\temp (empty values count as unset).
[[nodiscard]] std::string TempFolder();

// True when all of these hold: the registry key "Software\Orvik" exists or can be created and
// opens for write; the temporary folder exists or can be created; "bin/Velmor.exe" below
// `installPath`, when present, opens for reading and writing; and `installPath`, when it is an
// existing folder, is writable by this process. On Linux a file in use is not locked, so this
// does not detect a running product there; the asset-database check does.
[[nodiscard]] bool CheckPatchRights(const std::string& installPath);

}  // namespace ZephPatch
