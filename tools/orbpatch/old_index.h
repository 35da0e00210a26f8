#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace OrbPatch {

// A run of bytes that NEW and OLD share.
struct Match {
    uint64_t newOffset = 0;
    uint64_t oldOffset = 0;
    uint64_t length = 0;
};

// Finds where runs of NEW lie in OLD, however far they moved. Anchors are the positions whose
// preceding ANCHOR_WINDOW bytes have a rolling (gear) hash with its top bits zero: chosen by
// content alone, so a run that both files share carries the same anchors in both. The index
// keeps one OLD position per anchor hash; a NEW anchor found there is checked byte for byte and
// grown to the whole run. Between anchors NEW is also tried against OLD on the line of the
// last run (at first, OLD's own layout), which finds runs that hold no anchor.
class OldIndex {
public:
    static constexpr uint32_t ANCHOR_WINDOW = 64;
    // How often NEW is also compared with OLD on the line of the last run.
    static constexpr uint32_t LINE_PROBE_STRIDE = 256;

    // Indexes `oldData`, which must outlive the index, with about one anchor per `spacing`
    // bytes (a power of two of at least 2), using up to `threads` threads.
    OldIndex(std::span<const uint8_t> oldData, uint32_t spacing, unsigned threads);
    OldIndex(const OldIndex&) = delete;
    OldIndex& operator=(const OldIndex&) = delete;

    // The runs of newData[begin, end) found in OLD, in order and not overlapping, each at
    // least ANCHOR_WINDOW bytes long. Safe for concurrent use.
    [[nodiscard]] std::vector<Match> FindMatches(std::span<const uint8_t> newData, uint64_t begin,
                                                 uint64_t end) const;

private:
    void IndexPart(uint64_t begin, uint64_t end);
    [[nodiscard]] size_t Slot(uint64_t hash) const {
        return (hash * 0x9E3779B97F4A7C15ULL) >> m_slotShift;
    }

    std::span<const uint8_t> m_old;
    unsigned m_anchorShift;         // an anchor's hash is below 2^m_anchorShift
    unsigned m_slotShift;           // 64 - log2 of the slot count
    std::vector<uint64_t> m_slots;  // OLD position just past an anchor's window; 0 for none
};

}  // namespace OrbPatch
