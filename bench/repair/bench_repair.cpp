// Timings of the repair client's hot paths, for run.sh to set against the reference tools.
//   bench_repair checksum FILE        every segment's checksum; prints seconds and GB/s
//   bench_repair scan ROOT ROUNDS     a first scan, then the best of ROUNDS rescans
//   bench_repair repair ROOT HOST:PORT  one repair job against a running zephrepaird
// Results go to standard error, one "name value" line each; the summary's own diagnostics go
// to standard output.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "kernel/file_utils.h"
#include "kernel/thread.h"
#include "repair/agent_client.h"
#include "repair/file_tree_summary.h"
#include "repair/repair_driver.h"
#include "repair/segment_io.h"
#include "repair/segment_name.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int Checksum(const std::string& file) {
    uint64_t size = 0;
    if (ZephUtil::GetFileSizeOf(file, &size) != 0)
        return 1;
    const auto start = Clock::now();
    uint32_t combined = 0;
    for (uint64_t i = 0; i < ZephPatch::SegmentCount(size); ++i)
        combined ^= ZephPatch::ChecksumSegment(ZephPatch::SegmentName(file, i));
    const double seconds = Seconds(start);
    fprintf(stderr, "checksum_seconds %.4f\nchecksum_gbps %.2f\nchecksum_xor %08x\n", seconds,
            size / seconds / 1e9, combined);
    return 0;
}

int Scan(const std::string& root, int rounds) {
    ZephPatch::FileTreeSummary summary;
    summary.Scan(root, {});
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        summary.Scan(root, {});
        best = std::min(best, Seconds(start));
    }
    fprintf(stderr, "scan_rows %zu\nscan_seconds %.4f\n", summary.Size(), best);
    return 0;
}

int Repair(const std::string& root, const std::string& server) {
    ZephUtil::SocketEndpoint endpoint;
    if (!ZephPatch::ResolveRepairServer(server, &endpoint))
        return 1;
    const auto start = Clock::now();
    ZephPatch::ZephAgentClient job;
    job.SetInstallDirectory(root);
    job.SetChecksumFile(ZephUtil::JoinPath(root, "repair.cks"));
    job.SetServerAddress(endpoint);
    job.StartRepair();
    while (job.IsRunning())
        OS::Sleep(1);
    fprintf(stderr, "repair_seconds %.4f\nrepair_segments %u\nrepair_error %d\n", Seconds(start),
            job.GetSegmentsReceived(), job.GetError());
    return job.Succeeded() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "checksum") == 0)
        return Checksum(argv[2]);
    if (argc == 4 && strcmp(argv[1], "scan") == 0)
        return Scan(argv[2], std::stoi(argv[3]));
    if (argc == 4 && strcmp(argv[1], "repair") == 0)
        return Repair(argv[2], argv[3]);
    fprintf(stderr,
            "usage: bench_repair checksum FILE | scan ROOT ROUNDS | repair ROOT HOST:PORT\n");
    return 2;
}
