#include "transfer/file_hash_follower.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "kernel/files/file_utils.h"

namespace ZephUtil {
namespace {

constexpr size_t kReadBlock = 1 << 20;

}  // namespace

FileHashFollower::FileHashFollower(const std::string& path)
    : m_fd(ZephUtil::OpenFile(ZephUtil::FsPath(path), O_RDONLY)),
      m_block(std::make_unique_for_overwrite<uint8_t[]>(kReadBlock)) {
    if (!m_fd.IsOpen())
        return;
    try {
        m_thread = std::thread([this] { Follow(); });
    } catch (const std::system_error&) {
        // Finish hashes everything on the caller's thread.
    }
}

FileHashFollower::~FileHashFollower() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void FileHashFollower::Advance(uint64_t end) {
    {
        std::lock_guard lock(m_mutex);
        m_declared = std::max(m_declared, end);
    }
    m_changed.notify_all();
}

bool FileHashFollower::Finish(uint64_t size, ZephPatch::Sha256Digest* digest) {
    bool hashed;
    if (!m_thread.joinable()) {
        hashed = m_fd.IsOpen() && HashUpTo(size);
    } else {
        std::unique_lock lock(m_mutex);
        m_declared = std::max(m_declared, size);
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_failed || m_hashed >= size; });
        hashed = !m_failed;
        m_stop = true;
        lock.unlock();
        m_changed.notify_all();
        m_thread.join();
    }
    if (!hashed || m_hashed != size)
        return false;
    *digest = m_sha.Final();
    return true;
}

void FileHashFollower::Follow() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [&] { return m_stop || m_declared > m_hashed; });
        if (m_stop)
            return;
        const uint64_t end = m_declared;
        lock.unlock();
        const bool hashed = HashUpTo(end);
        lock.lock();
        if (!hashed) {
            m_failed = !m_stop;
            m_changed.notify_all();
            return;
        }
    }
}

bool FileHashFollower::HashUpTo(uint64_t end) {
    uint64_t at = m_hashed;  // only this side writes it
    while (at < end) {
        if (m_stop)
            return false;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadBlock, end - at));
        // Only one thread reads at a time, each on from where the last read stopped.
        const auto got = ::read(m_fd.Get(), m_block.get(), static_cast<unsigned>(want));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        m_sha.Update(m_block.get(), static_cast<size_t>(got));
        at += static_cast<uint64_t>(got);
        {
            std::lock_guard lock(m_mutex);
            m_hashed = at;
        }
        m_changed.notify_all();
    }
    return true;
}

}  // namespace ZephUtil
