// The stored form of the summary, for the checksum file and the wire.
#include "kernel/buffers/block_io.h"
#include "repair/file_tree_summary.h"
#include "repair/wire_format.h"

namespace ZephPatch {
namespace {

// Entries are staged in memory and written a piece at a time: one write per field would cost
// a round trip each on a socket.
constexpr size_t kSavePiece = 1 << 20;

int Flush(ZephUtil::ZephDataBuffer& destination, WireWriter& staged, int result) {
    std::vector<uint8_t>& bytes = staged.Bytes();
    const int written = destination.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bytes.clear();
    return result != ZephUtil::kBufOk ? result : written;
}

}  // namespace

int FileTreeSummary::Save(ZephUtil::ZephDataBuffer& destination) {
    OS::MutexLock lock(&m_mutex);
    WireWriter staged;
    staged.U32(kSummaryMagic);
    staged.U32(static_cast<uint32_t>(m_entries.size()));
    int result = ZephUtil::kBufOk;
    for (const auto& [key, entry] : m_entries) {
        staged.String(key);
        staged.U32(entry.checksum);
        staged.I64(entry.modifiedTime);
        if (staged.Bytes().size() >= kSavePiece)
            result = Flush(destination, staged, result);
    }
    return Flush(destination, staged, result);
}

int FileTreeSummary::Load(ZephUtil::ZephDataBuffer& source, uint32_t maxEntries) {
    OS::MutexLock lock(&m_mutex);
    m_entries.clear();
    uint32_t magic = 0;
    int result = ZephUtil::ReadUint32(source, &magic);
    if (result != ZephUtil::kBufOk)
        return result;
    if (magic != kSummaryMagic)
        return kSummaryBadMagic;
    uint32_t count = 0;
    result = ZephUtil::ReadUint32(source, &count);
    if (result == ZephUtil::kBufOk && count > maxEntries)
        return ZephUtil::kBufOutOfRange;
    // Stops at the first failure: what follows a failed read is not worth parsing, and the
    // scan that follows every load repairs the table.
    for (uint32_t i = 0; result == ZephUtil::kBufOk && i < count; ++i) {
        SummaryEntry entry;
        result = ReadWireString(source, &entry.name);
        if (result == ZephUtil::kBufOk)
            result = ZephUtil::ReadUint32(source, &entry.checksum);
        if (result == ZephUtil::kBufOk)
            result = ReadI64(source, &entry.modifiedTime);
        // Stored in key order, so each row normally goes right at the end.
        if (result == ZephUtil::kBufOk)
            m_entries.insert_or_assign(m_entries.end(), entry.name, entry);
    }
    return result;
}

}  // namespace ZephPatch
