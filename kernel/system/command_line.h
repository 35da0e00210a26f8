// Splitting an argument text into arguments, the way a Windows program splits its command line.
#pragma once

#include <string>
#include <vector>

namespace ZephUtil {

// Blanks and tabs separate arguments outside double quotes; quotes group and are removed ("" in
// a quoted part is one literal quote). Backslashes are literal unless they precede a quote:
// 2n backslashes + quote give n backslashes and a grouping quote, 2n+1 give n and a literal one.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace ZephUtil
