#include "tools/zephpack/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "apply/file_ops.h"
#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"
#include "tools/zephpack/output_file_system.h"

namespace ZephPack {
namespace {

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t wrote = ::write(fd, text.data(), text.size());
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(wrote));
    }
    return true;
}

}  // namespace

std::string TemporaryNameFor(const std::string& path) {
    return path + ".part-" + std::to_string(::getpid());
}

bool CommitOutputFile(const std::string& temporary, const std::string& path, std::string* error) {
    if (!ZephUtil::RenameReplacing(temporary, path)) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        (void)ZephUtil::DeleteFileAt(temporary);  // best effort: the failure is what counts
        return false;
    }
    // The file is in place; this only hastens it to the disk.
    (void)ZephPatch::SyncDirectory(ZephPatch::ParentFolder(path));
    return true;
}

bool WriteOutputFile(const std::string& path, std::string_view text, unsigned mode, bool replace,
                     std::string* error) {
    if (!replace && ZephUtil::FileExists(path)) {
        *error = path + " exists already";
        return false;
    }
    const std::string temporary = TemporaryNameFor(path);
    // A stale temporary of a crashed run may carry other permissions: start from none.
    (void)ZephUtil::DeleteFileAt(temporary);  // a stale one that stays makes the O_EXCL open fail
    ZephUtil::UniqueFd fd(ZephUtil::OpenFile(temporary, O_WRONLY | O_CREAT | O_EXCL, mode));
    if (!fd.IsOpen()) {
        *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    // A failed close is a failed write too: a server must never offer a short file.
    const bool written = WriteAll(fd.Get(), text) && ZephUtil::SyncFile(fd.Get()) && fd.Close();
    const int savedErrno = errno;
    fd.Reset();
    if (!written) {
        *error = "cannot write " + path + ": " + std::strerror(savedErrno);
        (void)ZephUtil::DeleteFileAt(temporary);  // best effort: the failure is what counts
        return false;
    }
    if (!replace) {
        // A link, unlike a rename, never takes the place of a file that appeared meanwhile.
        const bool linked = AddNewName(temporary, path);
        *error = linked ? "" : "cannot create " + path + ": " + std::strerror(errno);
        (void)ZephUtil::DeleteFileAt(temporary);  // best effort: the link is what counts
        if (linked)
            // The file is in place; this only hastens it to the disk.
            (void)ZephPatch::SyncDirectory(ZephPatch::ParentFolder(path));
        return linked;
    }
    return CommitOutputFile(temporary, path, error);
}

}  // namespace ZephPack
