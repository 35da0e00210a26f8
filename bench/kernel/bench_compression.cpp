// Throughput of CompressData / DecompressData against zlib's compress / uncompress on the same
// bytes (shared libraries of this machine), in this thread's processor time, the median of
// alternated runs; the extra peak memory of the streaming paths; and a check that a source over
// one block limit splits where the format says.
// Usage: bench_compression [MiB of data, default 64] [library folder]
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/median.h"
#include "kernel/buffers/compression.h"

namespace {

// CPU time of this thread: the machine is shared, and wall time would measure the neighbours.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return ts.tv_sec + ts.tv_nsec / 1e9;
    }
};
using ZephUtil::ZephDataBuffer;

double Seconds(double since) {
    return Clock::now() - since;
}

double MiB(uint64_t bytes) {
    return bytes / 1048576.0;
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + strlen(field) + 1, nullptr, 10);
    }
    return 0;
}

// Runs `work` and gives the peak resident memory it added, in MiB.
template <typename Work>
double ExtraPeakMiB(Work work) {
    std::ofstream("/proc/self/clear_refs") << "5";  // restarts VmHWM from the current RSS
    long before = StatusKiB("VmRSS:");
    work();
    return (StatusKiB("VmHWM:") - before) / 1024.0;
}

// Regular library files in name order, concatenated up to `size` bytes.
std::vector<uint8_t> LoadLibraries(const std::string& folder, size_t size) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().string().find(".so") != std::string::npos)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<uint8_t> data;
    data.reserve(size);
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        size_t take = std::min(bytes.size(), size - data.size());
        data.insert(data.end(), bytes.begin(), bytes.begin() + take);
        if (data.size() == size)
            break;
    }
    return data;
}

// Zeros of a given length, produced on demand.
class ZeroSource : public ZephDataBuffer {
public:
    explicit ZeroSource(uint64_t size) : m_size(size) {}
    uint64_t GetSize() override { return m_size; }
    int SetSize(uint64_t) override { return ZephUtil::kBufNotAllowed; }
    uint64_t GetPosition() override { return m_position; }
    int Seek(uint64_t position) override {
        m_position = std::min(position, m_size);
        return position <= m_size ? ZephUtil::kBufOk : ZephUtil::kBufOutOfRange;
    }
    int Write(const void*, uint32_t) override { return ZephUtil::kBufNotAllowed; }
    int Read(void* destination, uint32_t count) override {
        uint64_t there = std::min<uint64_t>(count, m_size - m_position);
        memset(destination, 0, there);
        m_position += there;
        return there == count ? ZephUtil::kBufOk : ZephUtil::kBufOutOfRange;
    }

private:
    uint64_t m_size;
    uint64_t m_position = 0;
};

// Takes any amount of bytes and keeps only their count.
class CountingSink : public ZeroSource {
public:
    CountingSink() : ZeroSource(0) {}
    uint64_t GetSize() override { return m_count; }
    uint64_t GetPosition() override { return m_position; }
    int Seek(uint64_t position) override {
        m_position = position;
        return ZephUtil::kBufOk;
    }
    int Write(const void*, uint32_t count) override {
        m_position += count;
        m_count = std::max(m_count, m_position);
        return ZephUtil::kBufOk;
    }

private:
    uint64_t m_count = 0;
    uint64_t m_position = 0;
};

void Report(const char* what, uint64_t bytes, double seconds) {
    printf("%-34s %8.1f MB/s  (%.2f s CPU)\n", what, bytes / 1e6 / seconds, seconds);
}

int Fail(const char* what) {
    fprintf(stderr, "bench_compression: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    size_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 64) << 20;
    std::string folder = argc > 2 ? argv[2] : "/usr/lib/x86_64-linux-gnu";
    std::vector<uint8_t> data = LoadLibraries(folder, size);
    if (data.empty())
        return Fail("no library data found");
    printf("data: %.1f MiB of shared libraries from %s\n", MiB(data.size()), folder.c_str());

    // The streaming paths into a sink: what they add to the memory of the data itself.
    ZephUtil::ZephDataBufferMemoryStatic source(data.data(), static_cast<uint32_t>(data.size()));
    CountingSink packedCount;
    printf("CompressData to a sink: extra peak memory %.1f MiB\n",
           ExtraPeakMiB([&] { (void)ZephUtil::CompressData(packedCount, source); }));
    ZephUtil::ZephDataBufferMemoryDynamic packed;
    (void)source.Seek(0);  // a memory buffer: cannot fail
    if (ZephUtil::CompressData(packed, source) != ZephUtil::kBufOk)
        return Fail("CompressData");
    CountingSink unpackedCount;
    (void)packed.Seek(0);  // a memory buffer: cannot fail
    printf("DecompressData to a sink: extra peak memory %.1f MiB\n\n",
           ExtraPeakMiB([&] { (void)ZephUtil::DecompressData(unpackedCount, packed); }));
    if (unpackedCount.GetSize() != data.size())
        return Fail("DecompressData to a sink");

    // Throughput in CPU time, the median of alternated runs each.
    std::vector<uint8_t> zipped(compressBound(data.size()));
    uLongf zippedLength = zipped.size();
    std::vector<double> ours, zlibSeconds;
    for (int run = 0; run < Bench::kRuns; ++run) {
        ZephUtil::ZephDataBufferMemoryDynamic again;
        (void)source.Seek(0);  // a memory buffer: cannot fail
        auto start = Clock::now();
        if (ZephUtil::CompressData(again, source) != ZephUtil::kBufOk)
            return Fail("CompressData");
        ours.push_back(Seconds(start));
        zippedLength = zipped.size();
        start = Clock::now();
        if (compress(zipped.data(), &zippedLength, data.data(), data.size()) != Z_OK)
            return Fail("compress");
        zlibSeconds.push_back(Seconds(start));
    }
    Report("CompressData (median)", data.size(), Bench::Median(ours));
    Report("zlib compress (median)", data.size(), Bench::Median(zlibSeconds));
    printf("%-34s %8.3f\n", "ratio CompressData / compress",
           Bench::Median(zlibSeconds) / Bench::Median(ours));
    bool same = packed.GetSize() == zippedLength + 12 &&
                memcmp(packed.Bytes().data() + 12, zipped.data(), zippedLength) == 0;
    printf("compressed size %.1f MiB (%.1f%% of the data), same zlib bytes as compress: %s\n\n",
           MiB(zippedLength), 100.0 * zippedLength / data.size(), same ? "yes" : "NO");

    std::vector<uint8_t> plain(data.size());
    std::vector<double> oursBack, zlibBack;
    for (int run = 0; run < Bench::kRuns; ++run) {
        ZephUtil::ZephDataBufferMemoryStatic into(plain.data(),
                                                  static_cast<uint32_t>(plain.size()));
        (void)packed.Seek(0);  // a memory buffer: cannot fail
        auto start = Clock::now();
        if (ZephUtil::DecompressData(into, packed) != ZephUtil::kBufOk)
            return Fail("DecompressData");
        oursBack.push_back(Seconds(start));
        uLongf plainLength = plain.size();
        start = Clock::now();
        if (uncompress(plain.data(), &plainLength, zipped.data(), zippedLength) != Z_OK)
            return Fail("uncompress");
        zlibBack.push_back(Seconds(start));
    }
    if (plain != data)
        return Fail("round trip differs");
    Report("DecompressData (median)", data.size(), Bench::Median(oursBack));
    Report("zlib uncompress (median)", data.size(), Bench::Median(zlibBack));
    printf("%-34s %8.3f\n\n", "ratio DecompressData / uncompress",
           Bench::Median(zlibBack) / Bench::Median(oursBack));

    // One block limit plus five bytes of zeros: two blocks, and back to the same length.
    ZeroSource zeros(ZephUtil::kMaxCompressedBlock + 5ull);
    ZephUtil::ZephDataBufferMemoryDynamic split;
    auto start = Clock::now();
    if (ZephUtil::CompressData(split, zeros) != ZephUtil::kBufOk)
        return Fail("split compress");
    double splitSeconds = Seconds(start);
    CountingSink splitBack;
    (void)split.Seek(0);  // a memory buffer: cannot fail
    if (ZephUtil::DecompressData(splitBack, split) != ZephUtil::kBufOk)
        return Fail("split back");
    const uint8_t* bytes = split.Bytes().data();
    uint32_t firstLength = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | bytes[11] << 24;
    bool splitOk = bytes[0] == 2 && firstLength == ZephUtil::kMaxCompressedBlock &&
                   splitBack.GetSize() == zeros.GetSize();
    printf("split check (256 MiB + 5 zeros): %s, %.1f MB/s compress\n",
           splitOk ? "2 blocks, ok" : "WRONG", zeros.GetSize() / 1e6 / splitSeconds);
    return same && splitOk ? 0 : 1;
}
