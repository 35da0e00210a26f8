// Files the publisher's tools hand to servers: written whole under a temporary name beside
// the target and renamed over it, so that a server never offers half a catalogue.
#pragma once

#include <string>
#include <string_view>

namespace ZephPack {

// Writes `text` to `path` with permissions `mode` (less the umask) from the moment the file
// exists. With `replace` false an existing file is left alone and the result is false. False
// with the reason in `error` on any failure; nothing is left behind then.
[[nodiscard]] bool WriteOutputFile(const std::string& path, std::string_view text, unsigned mode,
                                   bool replace, std::string* error);

// Renames the finished `temporary` over `path` (flushing the folder); on failure removes
// `temporary` and says why in `error`.
[[nodiscard]] bool CommitOutputFile(const std::string& temporary, const std::string& path,
                                    std::string* error);

// A name beside `path` for a file that becomes `path` once complete.
[[nodiscard]] std::string TemporaryNameFor(const std::string& path);

}  // namespace ZephPack
