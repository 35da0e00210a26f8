#include "repair/wire_format.h"

#include <algorithm>

#include "kernel/system/text.h"

namespace ZephPatch {

void WireWriter::U32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        m_bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void WireWriter::I64(int64_t value) {
    const auto bits = static_cast<uint64_t>(value);
    for (int shift = 0; shift < 64; shift += 8)
        m_bytes.push_back(static_cast<uint8_t>(bits >> shift));
}

void WireWriter::String(std::string_view utf8) {
    // ASCII, as most names are, is its UTF-16 units' low bytes.
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; })) {
        U32(static_cast<uint32_t>(utf8.size()));
        const size_t at = m_bytes.size();
        m_bytes.resize(at + 2 * utf8.size());
        for (size_t i = 0; i < utf8.size(); ++i)
            m_bytes[at + 2 * i] = static_cast<uint8_t>(utf8[i]);
        return;
    }
    const std::u16string units = ZephUtil::Utf8ToUtf16(utf8);
    U32(static_cast<uint32_t>(units.size()));
    for (char16_t unit : units) {
        m_bytes.push_back(static_cast<uint8_t>(unit));
        m_bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
}

int ReadU8(ZephUtil::ZephDataBuffer& buffer, uint8_t* value) {
    return buffer.Read(value, 1);
}

int ReadI64(ZephUtil::ZephDataBuffer& buffer, int64_t* value) {
    uint8_t bytes[8];
    const int result = buffer.Read(bytes, 8);
    if (result != ZephUtil::kBufOk)
        return result;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | bytes[i];
    *value = static_cast<int64_t>(bits);
    return ZephUtil::kBufOk;
}

int ReadWireString(ZephUtil::ZephDataBuffer& buffer, std::string* utf8) {
    uint32_t count = 0;
    int result = ZephUtil::ReadUint32(buffer, &count);
    if (result != ZephUtil::kBufOk)
        return result;
    if (count > kMaxWireNameUnits)
        return ZephUtil::kBufOutOfRange;
    std::string bytes(size_t{count} * 2, '\0');
    result = buffer.Read(bytes.data(), count * 2);
    if (result != ZephUtil::kBufOk)
        return result;
    // Names are mostly ASCII, which needs no conversion: a summary holds tens of thousands.
    bool ascii = true;
    for (uint32_t i = 0; i < count && ascii; ++i)
        ascii = static_cast<uint8_t>(bytes[2 * i]) < 0x80 && bytes[2 * i + 1] == 0;
    if (ascii) {
        for (uint32_t i = 0; i < count; ++i)
            bytes[i] = bytes[2 * i];
        bytes.resize(count);
        *utf8 = std::move(bytes);
        return ZephUtil::kBufOk;
    }
    std::u16string units(count, u'\0');
    for (uint32_t i = 0; i < count; ++i)
        units[i] = static_cast<char16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                         static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    *utf8 = ZephUtil::Utf16ToUtf8(units);
    return ZephUtil::kBufOk;
}

}  // namespace ZephPatch
