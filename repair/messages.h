// The repair's user texts, in one place until they move into the message catalogue.
#pragma once

namespace ZephPatch::RepairText {

inline constexpr char kCannotContactServer[] =
    "Unable to contact repair server; check your network connection.";
inline constexpr char kScanning[] = "Scanning installed files. This may take a while.";
inline constexpr char kConnecting[] = "Connecting to patch servers.";
inline constexpr char kPreparing[] = "Preparing download list.";
inline constexpr char kReceiving[] = "Receiving updated files.";
inline constexpr char kSegmentsUpdated[] = "(%u / %u segments updated.)";
inline constexpr char kScanFailed[] = "Error while scanning local files.";
inline constexpr char kConnectFailed[] = "Unable to connect to patch servers.";
inline constexpr char kRepairFailed[] = "Error occurred while repairing files.";
inline constexpr char kInternalError[] = "Internal error occurred.";
inline constexpr char kErrorInStage[] = "(Error %d in stage %d)";

}  // namespace ZephPatch::RepairText
