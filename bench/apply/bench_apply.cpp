// Figures for the applier's own work: FileMd5Hex throughput against md5sum on the same shared
// libraries, in processor time (the machine is shared): this thread's against the md5sum
// process's, the median of alternated runs; and the time to add 1,000 records to a real
// uninstall log of 6,234 records.
// Usage: bench_apply UNINSTALL_LOG [MiB of files, default 128]
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "apply/file_ops.h"
#include "apply/md5.h"
#include "apply/uninstall_log_format.h"
#include "bench/median.h"

namespace {
namespace fs = std::filesystem;

double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

double ChildrenSeconds() {
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

// Shared libraries of this machine, largest first, up to `limit` bytes in all.
std::vector<std::string> SampleFiles(uintmax_t limit, uintmax_t* total) {
    std::vector<std::pair<uintmax_t, std::string>> found;
    for (const auto& item : fs::directory_iterator("/usr/lib/x86_64-linux-gnu")) {
        if (item.is_regular_file() && !item.is_symlink()) {
            found.emplace_back(item.file_size(), item.path().string());
        }
    }
    std::sort(found.rbegin(), found.rend());
    std::vector<std::string> files;
    *total = 0;
    for (const auto& [size, path] : found) {
        if (*total + size > limit)
            continue;
        files.push_back(path);
        *total += size;
    }
    return files;
}

void BenchMd5(uintmax_t limit) {
    uintmax_t total = 0;
    const std::vector<std::string> files = SampleFiles(limit, &total);
    std::string digest;
    for (const auto& file : files)
        (void)ZephPatch::FileMd5Hex(file, &digest);  // warm the cache

    std::string command = "md5sum";
    for (const auto& file : files)
        command += " '" + file + "'";
    command += " >/dev/null";
    std::vector<double> ours, theirs;
    for (int run = 0; run < Bench::kRuns; ++run) {
        const double start = ThreadSeconds();
        for (const auto& file : files)
            (void)ZephPatch::FileMd5Hex(file, &digest);  // only timed
        ours.push_back(ThreadSeconds() - start);
        const double before = ChildrenSeconds();
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "md5sum failed\n");
        theirs.push_back(ChildrenSeconds() - before);
    }

    const double mib = total / 1048576.0;
    const double oursMedian = Bench::Median(ours), theirsMedian = Bench::Median(theirs);
    std::printf(
        "FileMd5Hex: %zu files, %.1f MiB: %.0f MiB/s CPU; md5sum %.0f MiB/s; ratio %.2f"
        " (medians of %d)\n",
        files.size(), mib, mib / oursMedian, mib / theirsMedian, theirsMedian / oursMedian,
        Bench::kRuns);
}

void BenchLog(const std::string& path) {
    std::vector<uint8_t> log;
    if (!ZephPatch::ReadWholeFile(path, &log)) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return;
    }
    std::vector<uint8_t> records;
    for (int i = 0; i < 1000; ++i) {
        const auto record =
            ZephPatch::DeleteFileRecord("/opt/velmor/data/assets/file" + std::to_string(i) + ".oa");
        records.insert(records.end(), record.begin(), record.end());
    }
    std::vector<uint8_t> out;
    constexpr int kRounds = 20;
    const double start = ThreadSeconds();
    for (int i = 0; i < kRounds; ++i)
        (void)ZephPatch::ExtendUninstallLog(log, records, 1000, &out);  // only timed
    const double each = (ThreadSeconds() - start) / kRounds;
    std::printf("ExtendUninstallLog: %zu-byte log + 1000 records: %.1f ms CPU (%.0f MiB/s)\n",
                log.size(), each * 1000, out.size() / 1048576.0 / each);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_apply UNINSTALL_LOG [MiB]\n");
        return 2;
    }
    BenchMd5(static_cast<uintmax_t>(argc > 2 ? std::atoi(argv[2]) : 128) * 1048576);
    BenchLog(argv[1]);
    return 0;
}
