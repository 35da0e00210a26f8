// The patch session's two steps around patching: get the database to itself before any file
// changes, and have the product's utility repair it afterwards.
// Implemented in close_asset_daemon.cpp and update_asset_database.cpp.
#pragma once

#include <string>

#include "assetdb/asset_database.h"
#include "assetdb/pacing.h"
#include "kernel/reporter.h"

namespace ZephPatch {

// True when this process holds the installation's asset database exclusively (and stays
// attached): tries five times, 2 s apart, and on the first failure asks the product utility to
// close the database daemon when the installation has one. False while another process of the
// product keeps using the database. `sleep` makes the pauses.
[[nodiscard]] bool CloseAssetDaemon(AssetDatabaseAttachment& database,
                                    const std::string& installPath,
                                    const SleepFunction& sleep = RealSleep);

// Releases the database and runs the product utility's repair, reporting its output and moving
// the gauge by elapsed time; returns when the utility has ended, or has been ended because the
// user cancelled. The gauge is full afterwards.
void UpdateAssetDatabase(AssetDatabaseAttachment& database, const std::string& installPath,
                         ProgressSink& sink);

}  // namespace ZephPatch
