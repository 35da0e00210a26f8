// Text conversions shared by every subsystem: UTF-8 for paths and 8-bit calls, UTF-16 where a
// format carries it, and the lossy 8-bit form used for diagnostics and the uninstall log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ZephUtil {

// Lossy 8-bit form: code units 32-127 and 9, 10, 13, 171, 176, 187 pass, the typographic
// dashes, quotes and ellipsis map to their Windows-1252 bytes, everything else becomes '?'.
[[nodiscard]] std::string ToNarrowString(std::u16string_view text);

// Reverse of ToNarrowString for the bytes it can produce; any other byte maps to itself.
[[nodiscard]] std::u16string FromNarrowString(std::string_view text);

// Lossless conversions. Invalid UTF-8 sequences and lone surrogates become U+FFFD.
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view text);
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view text);

// A whole text of decimal digits that fits 64 bits; false, leaving `value` alone, otherwise
// (also for signs and blanks).
[[nodiscard]] bool ParseDecimal(std::string_view text, uint64_t* value);

}  // namespace ZephUtil
