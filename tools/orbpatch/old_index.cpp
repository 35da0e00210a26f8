#include "tools/orbpatch/old_index.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <thread>

namespace OrbPatch {
namespace {

// One random number per byte value (splitmix64), fixed so that diffs are reproducible.
constexpr std::array<uint64_t, 256> MakeGear() {
    std::array<uint64_t, 256> gear{};
    uint64_t state = 0x6F7262706174636BULL;
    for (uint64_t& value : gear) {
        uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        value = z ^ (z >> 31);
    }
    return gear;
}

constexpr std::array<uint64_t, 256> GEAR = MakeGear();

// Each step shifts the oldest byte further up, so after 64 bytes the hash depends on exactly
// the last 64 (the window).
static_assert(OldIndex::ANCHOR_WINDOW == 64);

inline uint64_t Roll(uint64_t hash, uint8_t byte) {
    return (hash << 1) + GEAR[byte];
}

// Bytes that a and b have in common from their start, at most `limit`.
uint64_t CommonLength(const uint8_t* a, const uint8_t* b, uint64_t limit) {
    uint64_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            return n + static_cast<uint64_t>(std::countr_zero(x ^ y)) / 8;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) {
        ++n;
    }
    return n;
}

}  // namespace

OldIndex::OldIndex(std::span<const uint8_t> oldData, uint32_t spacing, unsigned threads)
    : m_old(oldData), m_anchorShift(64 - std::countr_zero(spacing)) {
    // About four slots per expected anchor, so that few anchors push others out.
    uint64_t slots = std::bit_ceil(std::max<uint64_t>(4 * (oldData.size() / spacing), 1024));
    m_slotShift = 64 - std::countr_zero(slots);
    m_slots.assign(slots, 0);
    threads = std::max(1u, threads);
    uint64_t part = oldData.size() / threads + 1;
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads; ++i) {
        workers.emplace_back([this, i, part] {
            IndexPart(std::min(i * part, m_old.size()), std::min((i + 1) * part, m_old.size()));
        });
    }
    IndexPart(0, std::min(part, m_old.size()));
    for (std::thread& worker : workers) {
        worker.join();
    }
}

void OldIndex::IndexPart(uint64_t begin, uint64_t end) {
    // Anchors at positions from begin + 1 to end, each with its whole window behind it.
    uint64_t start = begin >= ANCHOR_WINDOW ? begin - ANCHOR_WINDOW + 1 : 0;
    uint64_t hash = 0;
    for (uint64_t i = start; i < end; ++i) {
        hash = Roll(hash, m_old[i]);
        if (i + 1 >= ANCHOR_WINDOW && i >= begin && (hash >> m_anchorShift) == 0) {
            // Parts written at the same time may share a slot; either position will do.
            std::atomic_ref<uint64_t>(m_slots[Slot(hash)]).store(i + 1, std::memory_order_relaxed);
        }
    }
}

std::vector<Match> OldIndex::FindMatches(std::span<const uint8_t> newData, uint64_t begin,
                                         uint64_t end) const {
    std::vector<Match> matches;
    const uint8_t* old = m_old.data();
    const uint8_t* data = newData.data();
    uint64_t floor = begin;  // runs do not grow back over an earlier run or the block's start
    // Where the last run ended in NEW and in OLD: edits in place leave the rest on its line,
    // also where the content carries no anchors (a hole of zeros, say).
    uint64_t lineNew = 0;
    uint64_t lineOld = 0;
    uint64_t hash = 0;
    uint64_t hashed = 0;
    // Records the run through NEW position p and OLD position q, grown both ways.
    auto take = [&](uint64_t p, uint64_t q, uint64_t minLength) {
        uint64_t newStart = p;
        uint64_t oldStart = q;
        while (newStart > floor && oldStart > 0 && data[newStart - 1] == old[oldStart - 1]) {
            --newStart;
            --oldStart;
        }
        uint64_t ahead = CommonLength(data + p, old + q, std::min(end - p, m_old.size() - q));
        if (p + ahead - newStart < minLength) {
            return p;
        }
        matches.push_back({newStart, oldStart, p + ahead - newStart});
        floor = p + ahead;
        lineNew = floor;
        lineOld = q + ahead;
        hash = 0;
        hashed = 0;
        return floor;
    };
    for (uint64_t p = begin; p < end;) {
        if (p % LINE_PROBE_STRIDE == 0 && p - lineNew < m_old.size() - lineOld) {
            uint64_t next = take(p, p - lineNew + lineOld, ANCHOR_WINDOW);
            if (next != p) {
                p = next;
                continue;
            }
        }
        hash = Roll(hash, data[p++]);
        if (++hashed < ANCHOR_WINDOW || (hash >> m_anchorShift) != 0) {
            continue;
        }
        uint64_t q = m_slots[Slot(hash)];
        if (q != 0 &&
            std::memcmp(old + q - ANCHOR_WINDOW, data + p - ANCHOR_WINDOW, ANCHOR_WINDOW) == 0) {
            p = take(p, q, 0);
        }
    }
    return matches;
}

}  // namespace OrbPatch
