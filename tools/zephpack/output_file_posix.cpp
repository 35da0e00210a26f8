#include <unistd.h>

#include "tools/zephpack/output_file_system.h"

namespace ZephPack {

bool AddNewName(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str()) == 0;
}

}  // namespace ZephPack
