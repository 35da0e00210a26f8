#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "tools/orbpatch/file_mode.h"
#include "tools/orbpatch/result.h"

namespace OrbPatch {

// Bytes read at any offset: OLD and DIFF while a difference is applied.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    [[nodiscard]] virtual uint64_t Size() const = 0;
    // Fills `into` from `offset`. REQUIRES: offset + into.size() <= Size(). False, with the
    // reason in `why`, on a read error.
    [[nodiscard]] virtual bool ReadAt(uint64_t offset, std::span<uint8_t> into,
                                      std::string* why) = 0;
    // The bytes [offset, offset + length) in place, valid until the next View or the source's
    // end; empty when the source cannot show them so (then ReadAt is the way).
    // REQUIRES: offset + length <= Size().
    [[nodiscard]] virtual std::span<const uint8_t> View(uint64_t offset, uint64_t length) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
    [[nodiscard]] uint64_t Size() const override { return m_bytes.size(); }
    [[nodiscard]] bool ReadAt(uint64_t offset, std::span<uint8_t> into, std::string* why) override;
    [[nodiscard]] std::span<const uint8_t> View(uint64_t offset, uint64_t length) override {
        return m_bytes.subspan(offset, length);
    }

private:
    std::span<const uint8_t> m_bytes;
};

// A regular file, read with pread or mapped a range at a time, so that only what is asked for
// is held in memory.
class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens the regular file at `path`. False, with the reason in `why`, when it cannot be
    // opened or is not a regular file.
    [[nodiscard]] bool Open(const std::string& path, std::string* why);
    // Closes the file ahead of the destructor, so that it can be replaced (Windows refuses to
    // replace a file that is open or mapped). Nothing may be read afterwards.
    void Close();
    [[nodiscard]] uint64_t Size() const override { return m_size; }
    [[nodiscard]] bool ReadAt(uint64_t offset, std::span<uint8_t> into, std::string* why) override;
    [[nodiscard]] std::span<const uint8_t> View(uint64_t offset, uint64_t length) override;
    // Permission bits of the file as opened.
    [[nodiscard]] FileMode mode() const { return m_mode; }

private:
    void Unmap();

    int m_fd = -1;
    void* m_map = nullptr;
    size_t m_mapSize = 0;
    uint64_t m_size = 0;
    FileMode m_mode = 0;
};

// Where decoded bytes go, in order; a failure ends the decoding with its result.
using ByteSink = std::function<Result(std::span<const uint8_t>)>;

}  // namespace OrbPatch
