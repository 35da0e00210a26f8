// Fields of the checksum file and of the agent protocol: little-endian integers and strings
// sent as a 32-bit count of UTF-16 code units followed by the UTF-16LE units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/buffers/block_io.h"
#include "kernel/buffers/data_buffer.h"

namespace ZephPatch {

// The longest name accepted from a file or the network, in UTF-16 code units.
constexpr uint32_t kMaxWireNameUnits = 32768;

// Appends fields to a byte vector, so that a whole record goes out in one write.
class WireWriter {
public:
    void U8(uint8_t value) { m_bytes.push_back(value); }
    void U32(uint32_t value);
    void I64(int64_t value);
    // The UTF-8 text as a counted UTF-16LE string.
    void String(std::string_view utf8);
    std::vector<uint8_t>& Bytes() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

[[nodiscard]] int ReadU8(ZephUtil::ZephDataBuffer& buffer, uint8_t* value);
[[nodiscard]] int ReadI64(ZephUtil::ZephDataBuffer& buffer, int64_t* value);
// A counted UTF-16LE string as UTF-8. A count above kMaxWireNameUnits is refused with
// kBufOutOfRange before anything is allocated.
[[nodiscard]] int ReadWireString(ZephUtil::ZephDataBuffer& buffer, std::string* utf8);

}  // namespace ZephPatch
