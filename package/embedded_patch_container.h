// `EmbeddedPatchContainer`: reads the patch container appended to the installer's executable.
// The process keeps one; it stays open until the next OpenContainer or the end of the process.
// REQUIRES: external synchronization (one thread at a time).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kernel/buffers/data_buffer.h"
#include "package/container_format.h"

namespace ZephPatch {

enum ContainerOpenResult : int {
    kContainerOpened = 0,
    kContainerUnreadable = 2,  // cannot open, size field differs from the file, or broken
    kContainerAbsent = 6,
};

enum ExtractResult : int {
    kExtractOk = 0,
    kExtractCannotCreate = 1,
    kExtractNoRecord = 4,
    kExtractNotOpen = 7,
    // other values: the data buffer code of the failed read, write or seek
};

class EmbeddedPatchContainer {
public:
    EmbeddedPatchContainer() = default;
    EmbeddedPatchContainer(const EmbeddedPatchContainer&) = delete;
    EmbeddedPatchContainer& operator=(const EmbeddedPatchContainer&) = delete;

    // Closes a container opened before, then looks for a header at every multiple of 4096.
    // Opened only when the header's size field equals the file size and every directory
    // record lies inside the file.
    [[nodiscard]] int OpenContainer(const std::string& executablePath);
    void CloseContainer();
    [[nodiscard]] bool IsOpen() const { return m_header.has_value(); }

    // `fromBuild` of every record in directory order; empty when not open.
    [[nodiscard]] std::vector<std::string> ListFromBuilds();
    // `toBuild` of the first record whose `fromBuild` equals the text exactly, or empty.
    [[nodiscard]] std::string LookupTarget(const std::string& fromBuild);
    // Copies the archive of the first record for `fromBuild` into a new file at `outputPath`;
    // a failed copy leaves no output file behind.
    [[nodiscard]] int ExtractPatch(const std::string& fromBuild, const std::string& outputPath);

    // Every record in directory order, less those whose builds hold a separator; false (and
    // no records) when not open or a read fails. The lookups pass over the same records.
    [[nodiscard]] bool ReadDirectory(std::vector<DirectoryEntry>* entries);
    // Where the header lies in the file; 0 when not open.
    [[nodiscard]] uint64_t HeaderOffset() const;
    [[nodiscard]] const std::optional<ContainerHeader>& Header() const { return m_header; }

private:
    [[nodiscard]] bool ReadHeaderAt(uint64_t position, ContainerHeaderBytes* bytes);
    [[nodiscard]] bool ReadEntry(uint32_t index, DirectoryEntry* entry);
    [[nodiscard]] bool DirectoryInsideFile(uint64_t fileSize);
    [[nodiscard]] std::optional<DirectoryEntry> FindEntry(const std::string& fromBuild);

    std::unique_ptr<ZephUtil::ZephDataBufferFile> m_file;
    int64_t m_position = -1;  // the header's offset while open
    std::optional<ContainerHeader> m_header;
};

}  // namespace ZephPatch
