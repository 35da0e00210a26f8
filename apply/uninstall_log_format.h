// The uninstall log's byte layout ("unins000.dat"): a 448-byte header, then the record data
// cut into blocks of at most 4096 bytes, each behind a 12-byte head (size, its complement,
// CRC-32 of the data). Records are: type (2 bytes), extra data (4), data size (4), data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ZephPatch {

inline constexpr size_t kLogHeaderSize = 448;
inline constexpr size_t kLogRecordCountOffset = 324;
inline constexpr size_t kLogEndOffsetOffset = 328;
inline constexpr size_t kLogHeaderCrcOffset = 444;
inline constexpr size_t kLogBlockHeadSize = 12;
inline constexpr size_t kLogBlockDataSize = 4096;
inline constexpr size_t kLogRecordHeadSize = 10;
inline constexpr uint16_t kLogEndInstallType = 0x11;
inline constexpr uint16_t kLogDeleteFileType = 0x82;

// The delete-file record that tells the uninstaller to remove `path` (8-bit text): the path
// in the 8-bit length-prefixed form, then the 0xFF end marker.
[[nodiscard]] std::vector<uint8_t> DeleteFileRecord(const std::string& path);

enum class LogExtendResult {
    kOk,
    kNotRecognised,  // header, blocks or records do not check out, or no end-install record
};

// Builds in `out` the log with `records` (whole records, already encoded) inserted before its
// final end-install record. Blocks before the one where that record starts are kept byte for
// byte; the rest is written as full blocks and one short last block. The header's record
// count grows by `recordCount`, its end offset becomes the new length, its CRC is renewed.
[[nodiscard]] LogExtendResult ExtendUninstallLog(const std::vector<uint8_t>& log,
                                                 const std::vector<uint8_t>& records,
                                                 uint32_t recordCount, std::vector<uint8_t>* out);

}  // namespace ZephPatch
