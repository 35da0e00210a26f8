// A file being unpacked: a write-only data buffer straight over a descriptor, so that a
// failure to write the last bytes (a full disk) shows at Close instead of vanishing when a
// stream is closed. Never follows a symbolic link at its own name.
#pragma once

#include <string>

#include "kernel/buffers/data_buffer.h"
#include "kernel/files/unique_fd.h"

namespace ZephPatch {

class UnpackedFile : public ZephUtil::ZephDataBuffer {
public:
    // Created or truncated; IsOpen tells whether that worked.
    explicit UnpackedFile(const std::string& path);
    UnpackedFile(const UnpackedFile&) = delete;
    UnpackedFile& operator=(const UnpackedFile&) = delete;

    [[nodiscard]] bool IsOpen() const { return m_fd.IsOpen(); }
    // True when every write and the close succeeded.
    [[nodiscard]] bool Close();

    [[nodiscard]] uint64_t GetSize() override { return m_written; }
    [[nodiscard]] int SetSize(uint64_t size) override;  // kBufNotAllowed
    [[nodiscard]] uint64_t GetPosition() override { return m_written; }
    [[nodiscard]] int Seek(uint64_t position) override;  // only to the current end
    [[nodiscard]] int Write(const void* bytes, uint32_t count) override;
    [[nodiscard]] int Read(void* destination, uint32_t count) override;  // kBufNotAllowed

private:
    ZephUtil::UniqueFd m_fd;
    uint64_t m_written = 0;
    bool m_failed = false;
};

}  // namespace ZephPatch
