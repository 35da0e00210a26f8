// The file of a download whose size and SHA-256 are known beforehand: it refuses bytes past
// that size, and hashes what arrives on another thread while the transfer goes on, so that the
// check costs next to nothing when the download ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "apply/sha256.h"
#include "kernel/buffers/capped_buffer.h"
#include "kernel/buffers/data_buffer.h"
#include "transfer/file_hash_follower.h"

namespace ZephUtil {

struct ExpectedContent {
    uint64_t size = 0;
    ZephPatch::Sha256Digest sha256{};
};

// Passes every operation on to `file` (opened for writing at `path`), capped at the expected
// size: a write past it answers kBufNoMemory, which ends the transfer.
// Bytes already hashed that a retry rewrites (an http restart, an ftp resume that had to start
// over) start the hash again from the beginning of the file.
// REQUIRES: one thread at a time; `file` outlives this object.
class CheckedFileBuffer : public CappedBuffer {
public:
    CheckedFileBuffer(ZephDataBufferFile* file, std::string path, const ExpectedContent& expected);

    // After the transfer: empty when the file holds exactly the expected bytes, else what
    // differs ("it has 10 bytes, not 12", "its SHA-256 differs", "it could not be read back").
    [[nodiscard]] std::string Mismatch();

    [[nodiscard]] int SetSize(uint64_t size) override;
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;

private:
    // Bytes from `position` on are about to change.
    void Changing(uint64_t position);
    void DeclareWhatArrived();

    std::string m_path;
    ExpectedContent m_expected;
    std::unique_ptr<FileHashFollower> m_follower;
    uint64_t m_declared = 0;
};

}  // namespace ZephUtil
