// Texts of the system's error codes, for diagnostics.
#pragma once

#include <string>

namespace OS {

// The system's message for an errno value; an unknown code gives the system's own
// "Unknown error N". Safe for concurrent use.
[[nodiscard]] std::string SystemErrorText(int code);

}  // namespace OS
