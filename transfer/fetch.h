// The transfer operations the rest of the installer uses: a whole resource into a data buffer,
// and the size of a resource, for ftp, http and https URLs, with retries.
#pragma once

#include <cstdint>
#include <string>

#include "kernel/buffers/data_buffer.h"
#include "transfer/transfer_result.h"

namespace ZephUtil {

// Fetches the resource into `buffer` through its write operation. A failed attempt is tried
// again up to `fetchRetries` times, `retryPause` apart: an ftp retry resumes where the buffer
// stopped, an http(s) retry empties the buffer and starts over. A cancel, and an answer that
// cannot change (a missing file, a refused certificate, a buffer that refuses more bytes with
// kBufNoMemory, a server that let the connect or stall limit pass without sending a byte),
// end it at once. `noCache` asks caches
// on the way for a fresh copy.
// Returns 0, 3, 5 (bad URL), 10 (unknown scheme), 13 (cancelled) or the buffer's error code:
// the result of the last attempt.
[[nodiscard]] int FetchUrl(const std::string& url, ZephDataBuffer* buffer, bool noCache,
                           const TransferContext& context);

// 0 and the size in bytes (64-bit), or the last failure after `httpSizeRetries` (http, https)
// or `ftpSizeRetries` (ftp, each attempt on a new connection) further attempts. A cancel is
// seen between attempts and gives 13.
[[nodiscard]] int GetUrlSize(const std::string& url, uint64_t* size,
                             const TransferContext& context);

}  // namespace ZephUtil
