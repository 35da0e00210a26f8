// The repair client's scan work, as processes for run.sh to time against the reference tools:
//   bench_repair checksum FILE   the checksums of every segment of FILE, as a scan computes
//                                them (on every core); prints their XOR
//   bench_repair scan ROOT       a first scan of ROOT (no checksum file); prints the rows
// The summary's own diagnostics go to standard output, the results to standard error.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/files/file_utils.h"
#include "repair/file_tree_summary.h"
#include "repair/segment_checksums.h"
#include "repair/segment_name.h"

namespace {

int Checksum(const std::string& file) {
    uint64_t size = 0;
    if (ZephUtil::GetFileSizeOf(file, &size) != 0)
        return 1;
    std::vector<uint32_t> checksums(ZephPatch::SegmentCount(size));
    std::vector<ZephPatch::SegmentToChecksum> segments;
    for (uint64_t i = 0; i < checksums.size(); ++i)
        segments.push_back({ZephPatch::SegmentName(file, static_cast<int64_t>(i)), &checksums[i]});
    ZephPatch::ChecksumSegments(segments);
    uint32_t combined = 0;
    for (uint32_t checksum : checksums)
        combined ^= checksum;
    fprintf(stderr, "checksum_xor %08x\n", combined);
    return 0;
}

int Scan(const std::string& root) {
    ZephPatch::FileTreeSummary summary;
    (void)summary.Scan(root, {});  // cannot fail without a cancel flag
    fprintf(stderr, "scan_rows %zu\n", summary.Size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "checksum") == 0)
        return Checksum(argv[2]);
    if (argc == 3 && strcmp(argv[1], "scan") == 0)
        return Scan(argv[2]);
    fprintf(stderr, "usage: bench_repair checksum FILE | scan ROOT\n");
    return 2;
}
