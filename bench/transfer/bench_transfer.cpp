// Downloads one URL into a file the way the installer does, and tells how long it took and
// the process's peak memory. Usage: bench_transfer URL FILE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "transfer/current_download.h"
#include "transfer/download.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_transfer URL FILE\n");
        return 2;
    }
    ZephUtil::CurrentDownload current;
    ZephPatch::SilentReporter silent;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ZephUtil::DownloadToFile(argv[1], argv[2], &current, {{}, silent});
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("seconds=%.4f peak_rss_kib=%ld\n", took.count(), usage.ru_maxrss);
    return ok ? 0 : 1;
}
