#include "kernel/system/version.h"

namespace ZephUtil {

std::string VersionLine(std::string_view program) {
    return std::string(program) + " " + ORVIK_VERSION;
}

}  // namespace ZephUtil
