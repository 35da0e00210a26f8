// Reading a child's output: the same on every system, over the runtime's descriptors.
#include "kernel/threads/child_process.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ZephUtil {
namespace {

constexpr size_t kReadChunk = 8192;

bool ReadPipe(ChildProcess& child, int fd, std::string& text) {
    if (fd < 0)
        return false;
    if (child.readBuffer.empty())
        child.readBuffer.resize(kReadChunk);
    char* buffer = child.readBuffer.data();
    ssize_t count;
    do {
        count = read(fd, buffer, kReadChunk);
    } while (count < 0 && errno == EINTR);
    if (count <= 0)
        return false;
    text.append(buffer, strnlen(buffer, static_cast<size_t>(count)));
    return true;
}

}  // namespace

bool ReadChildOutput(ChildProcess& child, std::string& text) {
    return ReadPipe(child, child.outputRead.Get(), text);
}

bool ReadChildErrors(ChildProcess& child, std::string& text) {
    return ReadPipe(child, child.errorRead.Get(), text);
}

}  // namespace ZephUtil
