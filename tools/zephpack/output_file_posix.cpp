#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "tools/zephpack/output_file_system.h"

namespace ZephPack {

int CreateNewFile(const std::string& path, unsigned mode) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

bool RenameOver(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool AddNewName(const std::string& from, const std::string& to) {
    return ::link(from.c_str(), to.c_str()) == 0;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

}  // namespace ZephPack
