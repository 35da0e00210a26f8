// Downloads one URL into a file the way the installer does, with or without the size and
// SHA-256 a signed catalogue vouches for, and tells how long it took and the processor time it
// used (all threads).
// Usage: bench_verification URL FILE [SIZE SHA256]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "kernel/text.h"
#include "transfer/current_download.h"
#include "transfer/download.h"

namespace {

// The download's lines on standard error; it runs to its end.
class StderrReporter : public ZephPatch::Reporter {
public:
    void Report(ZephPatch::ReportLevel, const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool ShouldContinue() override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: bench_verification URL FILE [SIZE SHA256]\n");
        return 2;
    }
    ZephUtil::ExpectedContent expected;
    if (argc == 5 && (!ZephUtil::ParseDecimal(argv[3], &expected.size) ||
                      !ZephPatch::ParseSha256Hex(argv[4], &expected.sha256))) {
        std::fprintf(stderr, "bench_verification: bad size or SHA-256\n");
        return 2;
    }
    ZephUtil::CurrentDownload current;
    StderrReporter reporter;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ZephUtil::DownloadToFile(argv[1], argv[2], &current, {{}, reporter},
                                             argc == 5 ? &expected : nullptr);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
    std::printf("seconds=%.4f cpu=%.4f\n", took.count(),
                seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return ok ? 0 : 1;
}
