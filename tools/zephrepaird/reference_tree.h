// The reference installation the server repairs from: its summary, refreshed before each
// client is answered (only files whose time stamp changed are read again).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "repair/file_tree_summary.h"

namespace ZephRepairServer {

struct ReferenceState {
    ZephPatch::SummaryMap segments;
    std::vector<std::string> emptyFiles;  // keys of files without segments
};

class ReferenceTree {
public:
    explicit ReferenceTree(std::string root) : m_root(std::move(root)) {}

    // Rescans the tree and returns its state now. Safe for concurrent use.
    [[nodiscard]] ReferenceState Refresh();
    // The local path of a segment key.
    [[nodiscard]] std::string LocalSegmentPath(const std::string& key) const;

private:
    const std::string m_root;
    std::mutex m_lock;  // one rescan at a time
    ZephPatch::FileTreeSummary m_summary;
};

}  // namespace ZephRepairServer
