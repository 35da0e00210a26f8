// The system calls behind the folder utilities; not part of the kernel's interface.
// Implemented in folders_posix.cpp and folders_windows.cpp.
#pragma once

#include <string>
#include <vector>

namespace ZephUtil::detail {

struct FolderEntry {
    std::string name;
    bool isFolder;
};

// The entries of a folder other than "." and ".."; false when it cannot be read. A link
// counts as a file, so that a tree walk never follows one out of the tree.
[[nodiscard]] bool ReadFolder(const std::string& folder, std::vector<FolderEntry>* entries);

// Creates one folder; false with the system's error code in `error` (errno is set too).
[[nodiscard]] bool CreateFolder(const std::string& path, int* error);
[[nodiscard]] bool RemoveFolder(const std::string& path);

// Sets the calling thread's error to the system's code `error` (errno on Linux; on Windows the
// last error, and errno as the Linux side would have it).
void SetSystemError(int error);
// The code of a path that names a file where a folder was asked for (EEXIST; 80 on Windows).
extern const int kFileExistsError;

// The name of the creating call, for the log line of a failed creation.
extern const char* const kCreateFolderCall;

}  // namespace ZephUtil::detail
