#include "package/container_format.h"

#include <algorithm>
#include <cstring>

namespace ZephPatch {
namespace {

constexpr char kMagic[8] = {'Z', '0', 'e', '1', 'p', '2', 'h', '3'};

uint64_t GetLe(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

void PutLe(uint8_t* bytes, uint64_t value, int count) {
    for (int i = 0; i < count; ++i, value >>= 8)
        bytes[i] = static_cast<uint8_t>(value);
}

std::string GetBuild(const uint8_t* field) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, kMaxBuildLength));
}

void PutBuild(uint8_t* field, std::string_view build) {
    std::memcpy(field, build.data(), std::min(build.size(), kMaxBuildLength));
}

}  // namespace

bool HasContainerMagic(const ContainerHeaderBytes& bytes) {
    return std::memcmp(bytes.data(), kMagic, sizeof kMagic) == 0;
}

ContainerHeader DecodeContainerHeader(const ContainerHeaderBytes& bytes) {
    ContainerHeader header;
    header.totalSize = static_cast<uint32_t>(GetLe(&bytes[8], 4));
    header.entryCount = static_cast<uint32_t>(GetLe(&bytes[12], 4));
    header.directoryOffset = GetLe(&bytes[16], 8);
    return header;
}

ContainerHeaderBytes EncodeContainerHeader(const ContainerHeader& header) {
    ContainerHeaderBytes bytes{};
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    PutLe(&bytes[8], header.totalSize, 4);
    PutLe(&bytes[12], header.entryCount, 4);
    PutLe(&bytes[16], header.directoryOffset, 8);
    return bytes;
}

DirectoryEntry DecodeDirectoryEntry(const DirectoryEntryBytes& bytes) {
    DirectoryEntry entry;
    entry.fromBuild = GetBuild(&bytes[0]);
    entry.toBuild = GetBuild(&bytes[32]);
    entry.dataOffset = GetLe(&bytes[64], 8);
    entry.dataLength = GetLe(&bytes[72], 8);
    return entry;
}

DirectoryEntryBytes EncodeDirectoryEntry(const DirectoryEntry& entry) {
    DirectoryEntryBytes bytes{};
    PutBuild(&bytes[0], entry.fromBuild);
    PutBuild(&bytes[32], entry.toBuild);
    PutLe(&bytes[64], entry.dataOffset, 8);
    PutLe(&bytes[72], entry.dataLength, 8);
    return bytes;
}

}  // namespace ZephPatch
