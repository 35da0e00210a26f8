#include "apply/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "kernel/files/file_mode.h"
#include "kernel/files/file_utils.h"
#include "kernel/files/unique_fd.h"

namespace ZephPatch {
namespace {

constexpr size_t kCopyBufferSize = 64 * 1024;
constexpr size_t kReadBlockSize = 1 << 20;

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Never through a link standing at the name: that could land anywhere.
int CreateForWriting(const std::string& path) {
    return ZephUtil::OpenForWriting(path, O_WRONLY | O_CREAT | O_TRUNC);
}

}  // namespace

bool CopyFileOver(const std::string& from, const std::string& to) {
    ZephUtil::UniqueFd source(ZephUtil::OpenFile(from, O_RDONLY));
    if (!source.IsOpen())
        return false;
    ZephUtil::UniqueFd target(CreateForWriting(to));
    if (!target.IsOpen())
        return false;
    auto buffer = std::make_unique<uint8_t[]>(kCopyBufferSize);
    for (;;) {
        const ssize_t got = ::read(source.Get(), buffer.get(), kCopyBufferSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        if (!WriteAll(target.Get(), buffer.get(), static_cast<size_t>(got)))
            return false;
    }
    return ZephUtil::SyncFile(target.Get()) && target.Close();
}

bool RenameFile(const std::string& from, const std::string& to) {
    if (ZephUtil::RenameReplacing(from, to))
        return true;
    if (!CopyFileOver(from, to))
        return false;
    // Best effort: the copy is in place; mode and source are leftovers.
    (void)ZephUtil::CopyPermissions(from, to);
    (void)ZephUtil::DeleteFileAt(from);
    return true;
}

bool WriteFileSynced(const std::string& path, const std::vector<uint8_t>& bytes) {
    ZephUtil::UniqueFd target(CreateForWriting(path));
    if (!target.IsOpen())
        return false;
    return WriteAll(target.Get(), bytes.data(), bytes.size()) && ZephUtil::SyncFile(target.Get()) &&
           target.Close();
}

bool ReadFileBlocks(const std::string& path,
                    const std::function<void(const uint8_t*, size_t)>& consume) {
    ZephUtil::UniqueFd source(ZephUtil::OpenFile(path, O_RDONLY));
    if (!source.IsOpen())
        return false;
    const auto block = std::make_unique_for_overwrite<uint8_t[]>(kReadBlockSize);
    for (;;) {
        const ssize_t got = ::read(source.Get(), block.get(), kReadBlockSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        consume(block.get(), static_cast<size_t>(got));
    }
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
    bytes->clear();
    return ReadFileBlocks(path, [bytes](const uint8_t* block, size_t count) {
        bytes->insert(bytes->end(), block, block + count);
    });
}

bool SyncDirectory(const std::string& folder) {
    return ZephUtil::SyncFolder(folder.empty() ? "." : folder);
}

std::string ParentFolder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace ZephPatch
