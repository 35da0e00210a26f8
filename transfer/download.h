// `DownloadToFile`: a URL into a new local file, published as the current download meanwhile.
#pragma once

#include <string>

#include "transfer/current_download.h"
#include "transfer/transfer_result.h"

namespace ZephUtil {

// Creates (or truncates) `localPath` and fetches `url` into it with FetchUrl, publishing the
// file in `current` while it grows. True when every byte reached the file. On failure reports
// "Unable to open the patch file for writing: " + path or "Unable to download patch file: " +
// URL at level 3 (a cancelled download is not reported) and returns false; what arrived stays
// in the file. `callback` may be null.
bool DownloadToFile(const std::string& url, const std::string& localPath,
                    TransferCallback* callback, CurrentDownload* current,
                    const TransferReport& report);

}  // namespace ZephUtil
