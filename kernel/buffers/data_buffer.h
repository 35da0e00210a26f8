// The byte-stream interface every subsystem reads and writes through, with its file,
// fixed-memory and growing-memory variants. Buffers never throw: every failure is a code.
// One buffer is used by one thread at a time (REQUIRES: external synchronization).
// Implemented in data_buffer_file.cpp, data_buffer_memory_static.cpp and
// data_buffer_memory_dynamic.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace ZephUtil {

enum BufResult : int {
    kBufOk = 0,
    kBufNotAllowed = 1,  // the access mode or the kind of buffer forbids it
    kBufIoError = 2,     // a system call failed or was short
    kBufNotOpen = 7,
    kBufOutOfRange = 8,  // fewer bytes than asked, or a position beyond the end
    kBufNoMemory = 9,    // no memory, a fixed buffer is full, or the compressor failed
};

class ZephDataBuffer {
public:
    virtual ~ZephDataBuffer() = default;
    [[nodiscard]] virtual uint64_t GetSize() = 0;
    [[nodiscard]] virtual int SetSize(uint64_t size) = 0;
    [[nodiscard]] virtual uint64_t GetPosition() = 0;
    [[nodiscard]] virtual int Seek(uint64_t position) = 0;
    // A short transfer advances the position by what was transferred.
    [[nodiscard]] virtual int Write(const void* bytes, uint32_t count) = 0;
    [[nodiscard]] virtual int Read(void* destination, uint32_t count) = 0;
    virtual void FlushBuffer() {}
};

// Access modes of a file buffer.
enum FileMode : int {
    kFileRead = 0,       // existing file, read only
    kFileWrite = 1,      // created or truncated, write only, committed to disk
    kFileAppend = 2,     // existing file written in place (created when missing), write only
    kFileReadWrite = 3,  // existing file, read and write
};

// A disk file behind a C stream. The size is taken at open and kept up to date by writes.
// A short read or write (the end of the file included) answers kBufIoError.
class ZephDataBufferFile : public ZephDataBuffer {
public:
    // `path` is UTF-8; backslashes are taken as separators. An open failure leaves the buffer
    // closed (IsOpen false) and every operation then answers kBufNotOpen.
    ZephDataBufferFile(const std::string& path, int mode);
    ~ZephDataBufferFile() override;
    ZephDataBufferFile(const ZephDataBufferFile&) = delete;
    ZephDataBufferFile& operator=(const ZephDataBufferFile&) = delete;

    [[nodiscard]] bool IsOpen() const { return m_stream != nullptr; }
    // Flushes the stream and fsyncs the file; false when the data may not be on disk.
    // FlushBuffer only hands the stream's buffer to the system; call Commit where the
    // bytes must survive a power cut (the write modes meant "committed to disk").
    [[nodiscard]] bool Commit();

    [[nodiscard]] uint64_t GetSize() override { return m_size; }
    [[nodiscard]] int SetSize(uint64_t size) override;
    [[nodiscard]] uint64_t GetPosition() override { return m_position; }
    [[nodiscard]] int Seek(uint64_t position) override;
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] int Read(void* destination, uint32_t count) override;
    void FlushBuffer() override;

private:
    // Repositions the stream between a read and a write in mode 3, as C streams require.
    [[nodiscard]] bool TurnAround();

    FILE* m_stream = nullptr;
    int m_mode;
    uint64_t m_size = 0;
    uint64_t m_position = 0;
    bool m_lastWasRead = false;
    std::string m_name;
};

// A fixed block: writes stop at its size (kBufNoMemory), SetSize is kBufNotAllowed.
class ZephDataBufferMemoryStatic : public ZephDataBuffer {
public:
    // Over a caller's block, not owned.
    ZephDataBufferMemoryStatic(void* data, uint32_t size);
    // Owned copies: of a byte range, of a string's bytes, of the rest of another buffer
    // (empty when that read fails).
    [[nodiscard]] static ZephDataBufferMemoryStatic CopyOf(const void* data, uint32_t size);
    [[nodiscard]] static ZephDataBufferMemoryStatic CopyOf(const std::string& text);
    [[nodiscard]] static ZephDataBufferMemoryStatic CopyRestOf(ZephDataBuffer& source);
    ~ZephDataBufferMemoryStatic() override;
    ZephDataBufferMemoryStatic(ZephDataBufferMemoryStatic&& other) noexcept;
    ZephDataBufferMemoryStatic(const ZephDataBufferMemoryStatic&) = delete;
    ZephDataBufferMemoryStatic& operator=(const ZephDataBufferMemoryStatic&) = delete;

    [[nodiscard]] const uint8_t* Data() const { return m_data; }

    [[nodiscard]] uint64_t GetSize() override { return m_size; }
    [[nodiscard]] int SetSize(uint64_t size) override;  // kBufNotAllowed
    [[nodiscard]] uint64_t GetPosition() override { return m_position; }
    [[nodiscard]] int Seek(uint64_t position) override;
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] int Read(void* destination, uint32_t count) override;

private:
    ZephDataBufferMemoryStatic() = default;

    uint8_t* m_data = nullptr;
    uint32_t m_position = 0;
    uint32_t m_size = 0;
    bool m_owns = false;
};

// A growing array. Allocation failures come back as kBufNoMemory, never as exceptions.
class ZephDataBufferMemoryDynamic : public ZephDataBuffer {
public:
    ZephDataBufferMemoryDynamic() = default;

    [[nodiscard]] const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    std::vector<uint8_t>& Bytes() { return m_bytes; }

    [[nodiscard]] uint64_t GetSize() override { return m_bytes.size(); }
    [[nodiscard]] int SetSize(uint64_t size) override;
    [[nodiscard]] uint64_t GetPosition() override { return m_position; }
    [[nodiscard]] int Seek(uint64_t position) override;
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] int Read(void* destination, uint32_t count) override;

private:
    std::vector<uint8_t> m_bytes;
    uint64_t m_position = 0;
};

}  // namespace ZephUtil
