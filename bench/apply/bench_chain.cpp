// The patch chain with one worker against all workers: wall-clock time to unpack a patch
// archive and apply it (MD5 checks, backups, the real orbpatch run once per file) on an
// installation of FILES independent changed files of MiB each, the median of alternated runs
// of the same binary with ORVIK_WORKERS=1 and without it. All files are in the page cache;
// the commit's flush of the new files to disk (sequential by nature) is part of the time.
// Usage: bench_chain ZEPHPACK ORBPATCH [FILES, default 40] [MiB, default 8]
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "apply/apply_patch_directory.h"
#include "apply/md5.h"
#include "bench/median.h"
#include "kernel/reporter.h"
#include "kernel/threads/worker_pool.h"
#include "package/patch_archive.h"

namespace {
namespace fs = std::filesystem;

bool Run(const std::string& command) {
    const int status = std::system((command + " >/dev/null").c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Md5Hex(const std::string& bytes) {
    ZephPatch::MD5 md5;
    md5.update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    md5.finalize();
    return md5.hex_digest();
}

// An old file of noise and a new one with 64 changed bytes in every MiB, their difference
// made once and shared by every entry (the tool's work per file is the same either way).
struct Pair {
    std::string oldBytes, newBytes;
};

Pair MakePair(size_t size) {
    std::mt19937_64 random(1);
    Pair pair;
    pair.oldBytes.resize(size);
    for (char& byte : pair.oldBytes)
        byte = static_cast<char>(random());
    pair.newBytes = pair.oldBytes;
    for (size_t at = 0; at + 64 <= size; at += 1 << 20) {
        for (size_t i = 0; i < 64; ++i)
            pair.newBytes[at + i] = static_cast<char>(random());
    }
    return pair;
}

// Time of one chain into a fresh copy of the installation, in seconds; negative on failure.
double TimeChain(const fs::path& work, const std::string& archive, const std::string& oldBytes,
                 int files) {
    const fs::path install = work / "install", unpacked = work / "unpacked";
    fs::remove_all(unpacked);
    fs::create_directories(unpacked);
    for (int i = 0; i < files; ++i)
        WriteBytes(install / "data" / ("f" + std::to_string(i) + ".bin"), oldBytes);
    // The copy's own writeback is no part of the chain, whose commit flushes the file system.
    sync();
    ZephPatch::SilentReporter silent;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = ZephPatch::UnpackArchive(archive, unpacked.string()) == ZephPatch::kUnpackOk &&
                    ZephPatch::ApplyPatchDirectory(install.string(), unpacked.string(), "", silent);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return ok ? took.count() : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_chain ZEPHPACK ORBPATCH [FILES] [MiB]\n");
        return 2;
    }
    const std::string zephpack = argv[1], orbpatch = argv[2];
    const int files = argc > 3 ? std::atoi(argv[3]) : 40;
    const size_t mib = argc > 4 ? std::atoi(argv[4]) : 8;
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp ? temp : "/tmp") + "/bench_chain.XXXXXX";
    const fs::path work = mkdtemp(pattern.data());

    const Pair pair = MakePair(mib << 20);
    WriteBytes(work / "old", pair.oldBytes);
    WriteBytes(work / "new", pair.newBytes);
    const fs::path patch = work / "patch";
    fs::create_directories(patch / "data/data");
    if (!Run(orbpatch + " diff " + (work / "old").string() + " " + (work / "new").string() + " " +
             (work / "diff").string())) {
        std::fprintf(stderr, "orbpatch diff failed\n");
        return 1;
    }
    std::string list;
    for (int i = 0; i < files; ++i) {
        const std::string name = "f" + std::to_string(i) + ".bin";
        fs::copy_file(work / "diff", patch / "data/data" / (name + ".diff"));
        list += "data\\" + name + "\r\n" + Md5Hex(pair.newBytes) + "\r\n" + Md5Hex(pair.oldBytes) +
                "\r\n";
    }
    WriteBytes(patch / "patchedFiles.txt", list);
    WriteBytes(patch / "addedFiles.txt", "");
    WriteBytes(patch / "deletedFiles.txt", "");
    const std::string archive = (work / "patch.zip").string();
    fs::create_directories(work / "install/bin");
    fs::copy_file(orbpatch, work / "install/bin/orbpatchl-w32.exe");
    if (!Run(zephpack + " archive " + patch.string() + " " + archive)) {
        std::fprintf(stderr, "zephpack archive failed\n");
        return 1;
    }

    const unsigned all = ZephUtil::DefaultWorkerCount();
    std::vector<double> one, many;
    for (int run = 0; run < Bench::kRuns; ++run) {
        setenv("ORVIK_WORKERS", "1", 1);
        one.push_back(TimeChain(work, archive, pair.oldBytes, files));
        unsetenv("ORVIK_WORKERS");
        many.push_back(TimeChain(work, archive, pair.oldBytes, files));
    }
    fs::remove_all(work);
    if (Bench::Median(one) <= 0 || Bench::Median(many) <= 0) {
        std::fprintf(stderr, "a chain failed\n");
        return 1;
    }
    std::printf(
        "chain of %d patched files of %zu MiB: 1 worker %.2f s, %u workers %.2f s;"
        " ratio %.2f (medians of %d, alternated)\n",
        files, mib, Bench::Median(one), all, Bench::Median(many),
        Bench::Median(one) / Bench::Median(many), Bench::kRuns);
    return 0;
}
