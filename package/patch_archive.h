// The patch archive: a 4-byte version (1 or 2), then records until the end. A record is a
// compressed block sequence holding its header (name length in UTF-16 code units, the name in
// UTF-16LE, and in version 2 a kind byte), followed for a file by a second block sequence
// holding the file's bytes. Names are relative, with '\' separators and a leading ".\"; a
// directory comes before the records inside it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ZephPatch {

constexpr uint32_t kArchiveVersion1 = 1;
constexpr uint32_t kArchiveVersion2 = 2;
constexpr uint8_t kRecordDirectory = 0;
constexpr uint8_t kRecordFile = 1;
// Longer names are taken for damage rather than allocated.
constexpr uint32_t kMaxRecordNameUnits = 32767;

struct ArchiveRecordHeader {
    std::u16string name;
    bool isFile = false;
};

// Version 1 carries no kind: a name whose last element has an extension is a file.
[[nodiscard]] bool IsFileNameInVersion1(std::string_view name);

// Version 1 leaves the kind out; the name must then tell it.
[[nodiscard]] std::vector<uint8_t> EncodeRecordHeader(const ArchiveRecordHeader& header,
                                                      uint32_t version);
// False when the bytes are not exactly one header of that version.
[[nodiscard]] bool DecodeRecordHeader(const uint8_t* bytes, uint64_t size, uint32_t version,
                                      ArchiveRecordHeader* header);

enum UnpackResult : int {
    kUnpackOk = 0,
    kUnpackCannotOpen = 2,
    kUnpackBadVersion = 3,
    kUnpackWriteFailed = 4,  // an output file or folder cannot be created or written
    kUnpackDamaged = 5,      // truncated, lying lengths, bad header or compressed data
    kUnpackUnsafeName = 6,   // a name that would leave the target folder
    kUnpackTooLarge = 7,     // the files come to more than the bytes allowed
};

// `UnpackArchive`: writes every record below `targetFolder`, which must exist. File contents
// are streamed to disk, together never more than `maxBytes` (a small archive may claim to
// unpack to any size). Stops at the first fault; what was written before stays.
[[nodiscard]] int UnpackArchive(const std::string& archivePath, const std::string& targetFolder,
                                uint64_t maxBytes = UINT64_MAX);

}  // namespace ZephPatch
