#include "tools/zephrepaird/reference_tree.h"

#include "kernel/files/file_utils.h"

namespace ZephRepairServer {

ReferenceState ReferenceTree::Refresh() {
    // What the installer keeps out of its own summary is never sent either.
    static const std::vector<std::string> kExcluded = {"repair.cks", "unins000.exe"};
    std::lock_guard<std::mutex> lock(m_lock);
    ReferenceState state;
    (void)m_summary.Scan(m_root, kExcluded,
                         &state.emptyFiles);  // cannot fail without a cancel flag
    state.segments = m_summary.Snapshot();
    return state;
}

std::string ReferenceTree::LocalSegmentPath(const std::string& key) const {
    return ZephUtil::JoinPath(m_root, ZephUtil::FsPath(key));
}

}  // namespace ZephRepairServer
