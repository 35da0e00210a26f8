// Whole small files read with a ceiling: a text that a user or a patch hands over (a server
// list, a patch list) may be a device that never ends or a file far larger than its kind.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"

namespace ZephUtil {
namespace {

constexpr size_t kChunkBytes = 64 * 1024;

}  // namespace

CappedRead ReadFileCapped(const std::string& path, size_t maxBytes, std::string* text) {
    text->clear();
    const UniqueFd fd(OpenFile(path, O_RDONLY));
    if (!fd.IsOpen())
        return CappedRead::kCannotRead;
    CappedRead result = CappedRead::kOk;
    char chunk[kChunkBytes];
    for (;;) {
        const ssize_t got = read(fd.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result = CappedRead::kCannotRead;
            break;
        }
        if (got == 0)
            break;
        if (static_cast<size_t>(got) > maxBytes - text->size()) {
            result = CappedRead::kTooLarge;
            break;
        }
        text->append(chunk, static_cast<size_t>(got));
    }
    if (result != CappedRead::kOk)
        text->clear();
    return result;
}

}  // namespace ZephUtil
