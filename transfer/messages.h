// The user texts the transfer layer and the catalogue loader show: the catalogue's fixed
// English ones.
#pragma once

#include "kernel/message_catalogue.h"

namespace ZephUtil {

inline constexpr const char* kMsgCannotOpenPatchForWriting =
    ZephPatch::MSG_CANNOT_OPEN_PATCH_FOR_WRITING;
inline constexpr const char* kMsgCannotDownloadPatch = ZephPatch::MSG_CANNOT_DOWNLOAD_PATCH;
inline constexpr const char* kMsgNoPatchServer = ZephPatch::MSG_NO_PATCH_SERVER;

}  // namespace ZephUtil
