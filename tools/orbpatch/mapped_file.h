#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tools/orbpatch/file_mode.h"

namespace OrbPatch {

// A whole regular file mapped read-only, so that files of hundreds of MiB are read in place
// instead of being copied into memory. An empty file has no mapping and an empty span.
// The file must not shrink while it is mapped (reading a vanished page raises SIGBUS).
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps the regular file at `path`. Returns false, with the reason in `why`, when it cannot
    // be opened, is not a regular file or cannot be mapped.
    [[nodiscard]] bool Open(const std::string& path, std::string* why);

    // Unmaps the file ahead of the destructor, so that it can be replaced (Windows refuses to
    // replace a file that is mapped). bytes() is empty afterwards.
    void Close();

    [[nodiscard]] std::span<const uint8_t> bytes() const { return {m_data, m_size}; }
    // Permission bits of the file as opened.
    [[nodiscard]] FileMode mode() const { return m_mode; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    FileMode m_mode = 0;
};

}  // namespace OrbPatch
