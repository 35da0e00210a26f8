// zephrepaird under load, as a process watched from outside through /proc:
//   (a) 1,100 connections that say nothing: the server's threads and memory;
//   (b) 1,000 of them still open while 30 real repairs run at once: how many complete, and
//       the server's peak threads and memory meanwhile (targets: all 30, RSS <= 256 MiB);
//   (c) one client sending a 100 MB summary of tiny names, then (d) one of the most entries the
//       server takes: the server's memory after each.
// Usage: bench_repair_server SERVER_PROGRAM WORK_FOLDER (the folder is filled and left).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kernel/threads/child_process.h"
#include "repair/agent_client.h"
#include "repair/agent_protocol.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t kLoopback = 0x7F000001;

struct Usage {
    long threads = 0;
    long rssKiB = 0;
    long peakKiB = 0;  // since the server started
};

Usage UsageOf(pid_t pid) {
    Usage usage;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Threads:"))
            usage.threads = std::stol(line.substr(8));
        else if (line.starts_with("VmRSS:"))
            usage.rssKiB = std::stol(line.substr(6));
        else if (line.starts_with("VmHWM:"))
            usage.peakKiB = std::stol(line.substr(6));
    }
    return usage;
}

void PrintUsage(const char* what, const Usage& usage) {
    printf("%-52s threads %5ld  RSS %7.1f MiB  peak RSS %7.1f MiB\n", what, usage.threads,
           usage.rssKiB / 1024.0, usage.peakKiB / 1024.0);
    fflush(stdout);
}

int Connect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kLoopback);
    address.sin_port = htons(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void WriteRandomFile(const fs::path& path, size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// 8 MiB in files of 1 KiB to 3 MiB: a repair of an empty folder takes every segment.
void MakeReference(const fs::path& root) {
    for (int i = 0; i < 40; ++i)
        WriteRandomFile(root / ("pack" + std::to_string(i % 4)) / ("asset" + std::to_string(i)),
                        i < 3 ? 2 << 20 : 40 << 10, i);
}

bool RunRepair(const fs::path& install, uint16_t port) {
    fs::create_directories(install);
    ZephPatch::ZephAgentClient job;
    job.SetInstallDirectory(install.string());
    job.SetChecksumFile((install / "repair.cks").string());
    job.SetServerAddress({kLoopback, port});
    job.StartRepair();
    while (job.IsRunning())
        job.WaitForChange(1000);
    return job.Succeeded();
}

constexpr size_t kTinyEntry = 4 + 2 * 5 + 4 + 8;

// Sends the version and a summary of `count` five-character names, then waits for the server's
// count or its hang-up.
void SendHugeSummary(uint16_t port, uint32_t count) {
    const int fd = Connect(port);
    uint32_t value = ZephPatch::kAgentProtocolVersion;
    send(fd, &value, 4, MSG_NOSIGNAL);
    recv(fd, &value, 4, MSG_WAITALL);
    std::vector<uint8_t> piece = {'0', 's', 't', 'f'};
    for (int shift = 0; shift < 32; shift += 8)
        piece.push_back(static_cast<uint8_t>(count >> shift));
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (uint32_t i = 0; i < count; ++i) {
        piece.insert(piece.end(), {5, 0, 0, 0});
        for (uint32_t n = i, k = 0; k < 5; ++k, n /= 62)
            piece.insert(piece.end(), {static_cast<uint8_t>(kDigits[n % 62]), 0});
        piece.insert(piece.end(), {1, 0, 0, 0});  // a checksum
        piece.insert(piece.end(), 8, 0);          // a time
        if (piece.size() >= (1 << 20) || i + 1 == count) {
            if (send(fd, piece.data(), piece.size(), MSG_NOSIGNAL) < 0)
                break;  // hung up on
            piece.clear();
        }
    }
    const timeval guard{120, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &guard, sizeof guard);
    recv(fd, &value, 4, MSG_WAITALL);
    close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: bench_repair_server SERVER_PROGRAM WORK_FOLDER\n");
        return 2;
    }
    rlimit limit;
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    const fs::path work = argv[2];
    MakeReference(work / "reference");
    auto server = ZephUtil::StartChildProcessArgv(
        argv[1], {"--root", (work / "reference").string(), "--listen", "127.0.0.1:0", "--quiet"});
    std::string output;
    size_t at = std::string::npos;
    while (server && (at = output.find("listening on ")) == std::string::npos)
        if (!ZephUtil::ReadChildOutput(*server, output))
            break;
    if (at == std::string::npos) {
        fprintf(stderr, "the server did not start: %s\n", output.c_str());
        return 1;
    }
    const auto port = static_cast<uint16_t>(std::stoi(output.substr(output.find(':', at) + 1)));
    std::thread drain([&] {
        std::string ignored;
        while (ZephUtil::ReadChildOutput(*server, ignored))
            ignored.clear();
    });
    const pid_t pid = server->processId;
    PrintUsage("(start)", UsageOf(pid));

    std::vector<int> idle;
    for (int i = 0; i < 1100; ++i)
        idle.push_back(Connect(port));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    PrintUsage("(a) 1,100 idle connections", UsageOf(pid));
    for (int i = 0; i < 100; ++i)
        close(idle[i]);
    idle.erase(idle.begin(), idle.begin() + 100);

    std::atomic<int> repaired{0};
    std::atomic<bool> running{true};
    Usage peak;
    std::thread watch([&] {
        while (running) {
            const Usage now = UsageOf(pid);
            peak.threads = std::max(peak.threads, now.threads);
            peak.rssKiB = std::max(peak.rssKiB, now.rssKiB);
            peak.peakKiB = now.peakKiB;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> repairs;
    for (int i = 0; i < 30; ++i)
        repairs.emplace_back([&, i] {
            if (RunRepair(work / ("install" + std::to_string(i)), port))
                ++repaired;
        });
    for (std::thread& repair : repairs)
        repair.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    running = false;
    watch.join();
    PrintUsage("(b) 1,000 idle + 30 repairs: highest seen", peak);
    printf("(b) repairs completed: %d of 30 in %.1f s (target: all 30, peak RSS <= 256 MiB)\n",
           repaired.load(), seconds);
    for (int fd : idle)
        close(fd);

    SendHugeSummary(port, (100 << 20) / kTinyEntry);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    PrintUsage("(c) after a 100 MB summary of tiny names", UsageOf(pid));
    SendHugeSummary(port, 262144);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    PrintUsage("(d) after a summary of 262,144 tiny names", UsageOf(pid));

    kill(pid, SIGKILL);
    drain.join();
    ZephUtil::WaitChildProcess(*server, -1);
    ZephUtil::CloseChildProcess(*server);
    return repaired == 30 ? 0 : 1;
}
