// The layout of the patch container appended to the installer: a 28-byte header at a multiple
// of 4096, the patch archives, then a directory of 80-byte records that ends the file.
// All integers little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ZephPatch {

constexpr uint64_t kContainerAlignment = 4096;
constexpr uint32_t kContainerHeaderSize = 28;
constexpr uint32_t kDirectoryEntrySize = 80;
// A build field has 32 bytes; the last is always taken as 0, so 31 characters are usable.
constexpr size_t kBuildFieldSize = 32;
constexpr size_t kMaxBuildLength = kBuildFieldSize - 1;

struct ContainerHeader {
    uint32_t totalSize = 0;  // size of the whole executable file
    uint32_t entryCount = 0;
    uint64_t directoryOffset = 0;  // absolute
};

struct DirectoryEntry {
    std::string fromBuild;
    std::string toBuild;
    uint64_t dataOffset = 0;  // absolute
    uint64_t dataLength = 0;
};

using ContainerHeaderBytes = std::array<uint8_t, kContainerHeaderSize>;
using DirectoryEntryBytes = std::array<uint8_t, kDirectoryEntrySize>;

[[nodiscard]] bool HasContainerMagic(const ContainerHeaderBytes& bytes);
[[nodiscard]] ContainerHeader DecodeContainerHeader(const ContainerHeaderBytes& bytes);
[[nodiscard]] ContainerHeaderBytes EncodeContainerHeader(const ContainerHeader& header);

// Build texts end at the first zero byte or after 31 characters.
[[nodiscard]] DirectoryEntry DecodeDirectoryEntry(const DirectoryEntryBytes& bytes);
// Build texts longer than 31 characters are cut there.
[[nodiscard]] DirectoryEntryBytes EncodeDirectoryEntry(const DirectoryEntry& entry);

}  // namespace ZephPatch
