// The common reflected CRC-32 (polynomial 0xEDB88320), as the uninstall log's blocks and
// header carry it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ZephPatch {

[[nodiscard]] uint32_t Crc32(const uint8_t* data, size_t length);

}  // namespace ZephPatch
