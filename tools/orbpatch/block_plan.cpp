#include "tools/orbpatch/block_plan.h"

#include <algorithm>
#include <optional>

namespace OrbPatch {
namespace {

// Fewer coded bytes than this are not worth a block and thread of their own.
constexpr uint64_t MIN_SHARED_CODED = 256 << 10;

// A stretch of NEW: copied from OLD, or coded with the runs too short to copy inside it.
struct Piece {
    uint64_t newOffset = 0;
    Segment segment;
    std::vector<Match> shortRuns;
    std::optional<uint64_t> previousCopyEnd;  // in OLD, of the copy before a coded piece
    std::optional<uint64_t> nextCopyStart;    // in OLD, of the copy after it
};

std::vector<Piece> CutIntoPieces(const std::vector<Match>& matches, uint64_t newSize,
                                 uint32_t copyMin) {
    std::vector<Piece> pieces;
    uint64_t done = 0;
    auto coded = [&](uint64_t end) {
        if (end > done) {
            if (pieces.empty() || pieces.back().segment.copy) {
                pieces.push_back({done, {0, false, 0}, {}, {}, {}});
            }
            pieces.back().segment.length += end - done;
            done = end;
        }
    };
    for (const Match& match : matches) {
        coded(match.newOffset);
        if (match.length >= copyMin) {
            pieces.push_back({done, {match.length, true, match.oldOffset}, {}, {}, {}});
            done += match.length;
        } else {
            coded(match.newOffset + match.length);
            pieces.back().shortRuns.push_back(match);
        }
    }
    coded(newSize);
    std::optional<uint64_t> copyEnd;
    for (Piece& piece : pieces) {
        piece.previousCopyEnd = copyEnd;
        if (piece.segment.copy) {
            copyEnd = piece.segment.oldOffset + piece.segment.length;
        }
    }
    std::optional<uint64_t> copyStart;
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
        piece->nextCopyStart = copyStart;
        if (piece->segment.copy) {
            copyStart = piece->segment.oldOffset;
        }
    }
    return pieces;
}

// Where bytes [from, from + length) of a coded piece may find their like in OLD: after the copy
// before it and before the copy after it, as if the piece had replaced as much of OLD; and the
// short runs inside.
void AddCandidates(const Piece& piece, uint64_t from, uint64_t length,
                   std::vector<ReferenceCandidate>* candidates) {
    if (piece.previousCopyEnd) {
        uint64_t begin = *piece.previousCopyEnd + from;
        candidates->push_back({begin, begin + length, length});
    }
    uint64_t after = piece.segment.length - from;
    if (piece.nextCopyStart && *piece.nextCopyStart >= after) {
        uint64_t begin = *piece.nextCopyStart - after;
        candidates->push_back({begin, begin + length, length});
    }
    uint64_t start = piece.newOffset + from;
    for (const Match& run : piece.shortRuns) {
        if (run.newOffset < start + length && run.newOffset + run.length > start) {
            candidates->push_back({run.oldOffset, run.oldOffset + run.length, run.length});
        }
    }
}

class BlockBuilder {
public:
    BlockBuilder(uint64_t oldSize, const BlockLimits& limits)
        : m_oldSize(oldSize), m_limits(limits) {}

    void Add(const Piece& piece) {
        if (piece.segment.copy) {
            Make(piece.newOffset)->segments.push_back(piece.segment);
            return;
        }
        for (uint64_t from = 0; from < piece.segment.length;) {
            PlannedBlock* block = Make(piece.newOffset + from);
            uint64_t room = m_limits.codedBytes - m_coded;
            uint64_t length = std::min(room, piece.segment.length - from);
            block->segments.push_back({length, false, 0});
            AddCandidates(piece, from, length, &m_candidates);
            m_coded += length;
            from += length;
        }
    }

    std::vector<PlannedBlock> Finish() {
        Close();
        return std::move(m_blocks);
    }

private:
    // The open block, after closing a full one; `newOffset` is where the next segment starts.
    PlannedBlock* Make(uint64_t newOffset) {
        if (m_open && (m_coded >= m_limits.codedBytes ||
                       m_blocks.back().segments.size() >= m_limits.maxSegments)) {
            Close();
        }
        if (!m_open) {
            m_blocks.push_back({newOffset, {}, {}});
            m_open = true;
        }
        return &m_blocks.back();
    }

    void Close() {
        if (m_open && m_limits.wholeOld && m_oldSize > 0) {
            m_blocks.back().reference = {{0, static_cast<uint32_t>(m_oldSize)}};
        } else if (m_open) {
            m_blocks.back().reference =
                PlanReference(m_candidates, m_oldSize, m_coded, m_limits.reference);
        }
        m_candidates.clear();
        m_coded = 0;
        m_open = false;
    }

    uint64_t m_oldSize;
    const BlockLimits& m_limits;
    std::vector<PlannedBlock> m_blocks;
    std::vector<ReferenceCandidate> m_candidates;
    uint64_t m_coded = 0;
    bool m_open = false;
};

}  // namespace

uint64_t PlannedBlock::NewBytes() const {
    uint64_t total = 0;
    for (const Segment& segment : segments) {
        total += segment.length;
    }
    return total;
}

uint64_t PlannedBlock::CodedBytes() const {
    uint64_t total = 0;
    for (const Segment& segment : segments) {
        total += segment.copy ? 0 : segment.length;
    }
    return total;
}

std::vector<PlannedBlock> PlanFromMatches(const std::vector<Match>& matches, uint64_t oldSize,
                                          uint64_t newSize, const BlockLimits& limits) {
    std::vector<Piece> pieces = CutIntoPieces(matches, newSize, limits.copyMin);
    uint64_t coded = 0;
    for (const Piece& piece : pieces) {
        coded += piece.segment.copy ? 0 : piece.segment.length;
    }
    BlockLimits shared = limits;
    uint64_t share = std::max(coded / std::max(limits.threads, 1u) + 1, MIN_SHARED_CODED);
    shared.codedBytes = static_cast<uint32_t>(std::min<uint64_t>(share, limits.codedBytes));
    BlockBuilder builder(oldSize, shared);
    for (const Piece& piece : pieces) {
        builder.Add(piece);
    }
    return builder.Finish();
}

}  // namespace OrbPatch
