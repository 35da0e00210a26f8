// The SHA-256 of a file that is still being written, computed on a thread of its own from the
// bytes the writer has declared final, so that the download never waits for the digest.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "apply/sha256.h"
#include "kernel/files/unique_fd.h"

namespace ZephUtil {

// REQUIRES: one writer thread calls Advance and Finish.
class FileHashFollower {
public:
    // Opens its own descriptor of `path` and starts hashing as bytes are declared. When no
    // thread can be started, Finish does all the work itself.
    explicit FileHashFollower(const std::string& path);
    // Stops the thread without waiting for the rest of the file.
    ~FileHashFollower();
    FileHashFollower(const FileHashFollower&) = delete;
    FileHashFollower& operator=(const FileHashFollower&) = delete;

    // The file's first `end` bytes have reached the file (visible to other descriptors) and
    // will not change any more.
    void Advance(uint64_t end);
    // Declares the first `size` bytes and waits until they are hashed: true with their digest,
    // false when the file could not be read. Call once.
    [[nodiscard]] bool Finish(uint64_t size, ZephPatch::Sha256Digest* digest);

private:
    void Follow();
    // Hashes bytes [m_hashed, end) of the file; false on a read failure or a stop.
    [[nodiscard]] bool HashUpTo(uint64_t end);

    ZephUtil::UniqueFd m_fd;
    std::unique_ptr<uint8_t[]> m_block;  // used by the hashing side only
    ZephPatch::Sha256 m_sha;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_declared = 0;  // guarded by m_mutex
    uint64_t m_hashed = 0;    // written by the hashing side only, under m_mutex
    bool m_failed = false;    // guarded by m_mutex
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace ZephUtil
