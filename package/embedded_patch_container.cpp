#include "package/embedded_patch_container.h"

#include <algorithm>
#include <vector>

#include "kernel/files/file_utils.h"
#include "kernel/log/system_log.h"

namespace ZephPatch {

using ZephUtil::kBufOk;
using ZephUtil::ZephDataBufferFile;

namespace {

constexpr uint32_t kCopyBufferSize = 131072;

bool InsideFile(uint64_t offset, uint64_t length, uint64_t fileSize) {
    return offset <= fileSize && length <= fileSize - offset;
}

// Builds become part of the temporary archive's file name: a record whose builds could name
// another folder is passed over, as the catalogue drops one.
bool HasSafeBuilds(const DirectoryEntry& entry) {
    if (ZephUtil::IsSafeNamePart(entry.fromBuild) && ZephUtil::IsSafeNamePart(entry.toBuild))
        return true;
    ZephUtil::Print("EmbeddedPatchContainer> ignored the patch from %s to %s",
                    entry.fromBuild.c_str(), entry.toBuild.c_str());
    return false;
}

// Copies `length` bytes from the source's position; the failing read's or write's code.
int CopyBytes(ZephDataBufferFile& source, ZephDataBufferFile& destination, uint64_t length) {
    std::vector<uint8_t> buffer(std::min<uint64_t>(length, kCopyBufferSize));
    while (length > 0) {
        const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(length, buffer.size()));
        if (int result = source.Read(buffer.data(), chunk); result != kBufOk)
            return result;
        if (int result = destination.Write(buffer.data(), chunk); result != kBufOk)
            return result;
        length -= chunk;
    }
    return kBufOk;
}

}  // namespace

int EmbeddedPatchContainer::OpenContainer(const std::string& executablePath) {
    CloseContainer();
    m_file = std::make_unique<ZephDataBufferFile>(executablePath, ZephUtil::kFileRead);
    if (!m_file->IsOpen()) {
        m_file.reset();
        return kContainerUnreadable;
    }
    const uint64_t fileSize = m_file->GetSize();
    // A header whose size field disagrees is remembered but the search goes on: the
    // installer's own code may hold the magic bytes at a page boundary by chance.
    bool sawBrokenHeader = false;
    ContainerHeaderBytes bytes;
    for (uint64_t position = 0; ReadHeaderAt(position, &bytes); position += kContainerAlignment) {
        if (!HasContainerMagic(bytes))
            continue;
        m_header = DecodeContainerHeader(bytes);
        m_position = static_cast<int64_t>(position);
        if ((fileSize >> 32) == 0 && m_header->totalSize == fileSize &&
            DirectoryInsideFile(fileSize))
            return kContainerOpened;
        m_header.reset();
        m_position = -1;
        sawBrokenHeader = true;
    }
    CloseContainer();
    return sawBrokenHeader ? kContainerUnreadable : kContainerAbsent;
}

void EmbeddedPatchContainer::CloseContainer() {
    m_file.reset();
    m_header.reset();
    m_position = -1;
}

uint64_t EmbeddedPatchContainer::HeaderOffset() const {
    return m_position < 0 ? 0 : static_cast<uint64_t>(m_position);
}

bool EmbeddedPatchContainer::ReadHeaderAt(uint64_t position, ContainerHeaderBytes* bytes) {
    if (position + kContainerHeaderSize > m_file->GetSize())
        return false;
    return m_file->Seek(position) == kBufOk &&
           m_file->Read(bytes->data(), kContainerHeaderSize) == kBufOk;
}

bool EmbeddedPatchContainer::ReadEntry(uint32_t index, DirectoryEntry* entry) {
    DirectoryEntryBytes bytes;
    const uint64_t position = m_header->directoryOffset + uint64_t{kDirectoryEntrySize} * index;
    if (m_file->Seek(position) != kBufOk ||
        m_file->Read(bytes.data(), kDirectoryEntrySize) != kBufOk)
        return false;
    *entry = DecodeDirectoryEntry(bytes);
    return true;
}

bool EmbeddedPatchContainer::DirectoryInsideFile(uint64_t fileSize) {
    const uint64_t directorySize = uint64_t{kDirectoryEntrySize} * m_header->entryCount;
    if (!InsideFile(m_header->directoryOffset, directorySize, fileSize)) {
        ZephUtil::Print("EmbeddedPatchContainer> directory outside the file");
        return false;
    }
    for (uint32_t i = 0; i < m_header->entryCount; ++i) {
        DirectoryEntry entry;
        if (!ReadEntry(i, &entry))
            return false;
        if (!InsideFile(entry.dataOffset, entry.dataLength, fileSize)) {
            ZephUtil::Print("EmbeddedPatchContainer> patch %s lies outside the file",
                            entry.fromBuild.c_str());
            return false;
        }
    }
    return true;
}

bool EmbeddedPatchContainer::ReadDirectory(std::vector<DirectoryEntry>* entries) {
    entries->clear();
    if (!IsOpen())
        return false;
    for (uint32_t i = 0; i < m_header->entryCount; ++i) {
        DirectoryEntry entry;
        if (!ReadEntry(i, &entry)) {
            entries->clear();
            return false;
        }
        if (HasSafeBuilds(entry))
            entries->push_back(std::move(entry));
    }
    return true;
}

std::vector<std::string> EmbeddedPatchContainer::ListFromBuilds() {
    std::vector<DirectoryEntry> entries;
    (void)ReadDirectory(&entries);  // no records when it fails
    std::vector<std::string> builds;
    for (auto& entry : entries)
        builds.push_back(std::move(entry.fromBuild));
    return builds;
}

std::optional<DirectoryEntry> EmbeddedPatchContainer::FindEntry(const std::string& fromBuild) {
    if (!IsOpen())
        return std::nullopt;
    DirectoryEntry entry;
    // A failed read ends the search like the end of the directory does.
    for (uint32_t i = 0; i < m_header->entryCount && ReadEntry(i, &entry); ++i) {
        if (entry.fromBuild == fromBuild && HasSafeBuilds(entry))
            return entry;
    }
    return std::nullopt;
}

std::string EmbeddedPatchContainer::LookupTarget(const std::string& fromBuild) {
    auto entry = FindEntry(fromBuild);
    return entry ? entry->toBuild : std::string();
}

int EmbeddedPatchContainer::ExtractPatch(const std::string& fromBuild,
                                         const std::string& outputPath) {
    if (!IsOpen())
        return kExtractNotOpen;
    auto entry = FindEntry(fromBuild);
    if (!entry)
        return kExtractNoRecord;
    int result;
    {
        ZephDataBufferFile output(outputPath, ZephUtil::kFileWrite);
        if (!output.IsOpen())
            return kExtractCannotCreate;
        result = m_file->Seek(entry->dataOffset);
        if (result == kBufOk)
            result = CopyBytes(*m_file, output, entry->dataLength);
        // A full disk may only show when the last bytes are flushed.
        if (result == kBufOk && !output.Commit())
            result = ZephUtil::kBufIoError;
    }
    if (result != kBufOk)
        (void)ZephUtil::DeleteFileAt(outputPath);  // best effort: the failure is what counts
    return result;
}

}  // namespace ZephPatch
