// The user texts the transfer layer and the catalogue loader show, in one place.
#pragma once

namespace ZephUtil {

inline constexpr char kMsgCannotOpenPatchForWriting[] =
    "Unable to open the patch file for writing: ";                                      // 196
inline constexpr char kMsgCannotDownloadPatch[] = "Unable to download patch file: ";    // 197
inline constexpr char kMsgNoPatchServer[] = "Unable to connect to any patch servers.";  // 198

// Message levels the reports use.
constexpr int kReportStep = 1;
constexpr int kReportError = 3;

}  // namespace ZephUtil
