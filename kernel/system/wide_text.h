// UTF-8 inside, UTF-16 at each Windows call: every path and text handed to a "W" function of
// Windows goes through ToWide, and every one it returns through FromWide.
#pragma once

#ifndef _WIN32
#error "wide_text.h is for the Windows side of a service"
#endif

#include <string>
#include <string_view>

#include "kernel/system/text.h"

namespace ZephUtil {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t holds UTF-16 code units");

inline std::wstring ToWide(std::string_view utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    return std::wstring(units.begin(), units.end());
}

inline std::string FromWide(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace ZephUtil
