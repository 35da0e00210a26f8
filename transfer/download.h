// `DownloadToFile`: a URL into a new local file, published as the current download meanwhile.
#pragma once

#include <cstdint>
#include <string>

#include "transfer/checked_file_buffer.h"
#include "transfer/current_download.h"
#include "transfer/transfer_result.h"

namespace ZephUtil {

// Creates (or truncates) `localPath` and fetches `url` into it with FetchUrl, publishing the
// file in `current` while it grows. True when every byte reached the file. On failure reports
// "Unable to open the patch file for writing: " + path or "Unable to download patch file: " +
// URL at level 3 (a cancelled download is not reported) and returns false; what arrived stays
// in the file.
// With `expected`, the file must come out at exactly that size and SHA-256 (checked while it
// arrives, bytes past the size refused); otherwise "The patch file " + URL + " does not match
// the signed catalogue: " + what differs + "." at level 3, and false. The caller removes the
// file.
// The file never grows past `maxBytes` (the room set aside for it): a server that sends more,
// with or without a Content-Length, fails with "The patch file " + URL + " is larger than the
// " + megabytes + " MB set aside for it." at level 3.
[[nodiscard]] bool DownloadToFile(const std::string& url, const std::string& localPath,
                                  CurrentDownload* current, const TransferContext& context,
                                  const ExpectedContent* expected = nullptr,
                                  uint64_t maxBytes = UINT64_MAX);

}  // namespace ZephUtil
