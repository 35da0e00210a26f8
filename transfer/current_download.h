// The download in progress, shared between the transfer that writes it and the display that
// shows how far it got. Every write to the published file and every look at it happen under
// the download lock, so the reader never sees a file half-way through a write.
#pragma once

#include <cstdint>

#include "kernel/buffers/data_buffer.h"
#include "kernel/threads/mutex.h"

namespace ZephUtil {

// Safe for concurrent use.
class CurrentDownload {
public:
    CurrentDownload() = default;
    CurrentDownload(const CurrentDownload&) = delete;
    CurrentDownload& operator=(const CurrentDownload&) = delete;

    // True and the bytes the file holds so far while a download is published; false otherwise.
    [[nodiscard]] bool GetReceived(uint64_t* bytes);

private:
    friend class PublishedDownload;

    OS::Mutex m_lock;
    ZephDataBuffer* m_file = nullptr;
};

// Publishes `file` as the current download for its lifetime, and is the buffer the transfer
// writes through: each operation passes on to the file under the download lock.
// REQUIRES: one writer thread; the file outlives this object.
class PublishedDownload : public ZephDataBuffer {
public:
    PublishedDownload(CurrentDownload* current, ZephDataBuffer* file);
    ~PublishedDownload() override;
    PublishedDownload(const PublishedDownload&) = delete;
    PublishedDownload& operator=(const PublishedDownload&) = delete;

    [[nodiscard]] uint64_t GetSize() override;
    [[nodiscard]] int SetSize(uint64_t size) override;
    [[nodiscard]] uint64_t GetPosition() override;
    [[nodiscard]] int Seek(uint64_t position) override;
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] int Read(void* destination, uint32_t count) override;
    void FlushBuffer() override;

private:
    CurrentDownload* m_current;
    ZephDataBuffer* m_file;
};

}  // namespace ZephUtil
