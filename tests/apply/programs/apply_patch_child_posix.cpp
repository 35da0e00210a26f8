// Applies one patch directory, for tests that kill the applying process part-way:
//   apply_patch_child INSTALL PATCH
// Every file-changing call the applier makes (write, fsync, syncfs, rename, unlink, mkdir,
// fork of a tool) is counted here, in front of the C library. With APPLY_KILL_AFTER=k the
// process kills itself (SIGKILL) right after its k-th such call, so tests reach every moment
// of an application deterministically. Prints "ops <n>" at the end and exits 0 on success.
//
// APPLY_POWER_CUT makes that kill a power cut: first the installation is put in the state the
// disk could hold at that moment, modelled from the calls so far. "unsynced-lost": a file's
// content survives as of its last fsync, a folder's entries as of the folder's last fsync,
// syncfs makes all of it durable. "data-lost": folder changes survive in the order they were
// made (as a journaling file system keeps them), file contents only as of their last sync.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "apply/apply_patch_directory.h"
#include "kernel/reporter.h"

namespace {

namespace fs = std::filesystem;

long g_operations = 0;
const long g_killAfter = [] {
    const char* value = std::getenv("APPLY_KILL_AFTER");
    return value ? std::atol(value) : 0L;
}();
const std::string g_powerCut = [] {
    const char* value = std::getenv("APPLY_POWER_CUT");
    return std::string(value ? value : "");
}();

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The installation's files as a disk holds them. Files are told apart by inode, and an inode
// number that reappears after it was gone is a new file.
class DiskModel {
public:
    void Start(const std::string& root) {
        m_root = fs::absolute(root).lexically_normal().string();
        if (m_root.back() == '/')
            m_root.pop_back();
        Scan();
        SyncAll();
    }

    // After every call: which name holds which file now.
    void Scan() {
        std::map<ino_t, uint64_t> ids;
        m_live.clear();
        for (const auto& item : fs::recursive_directory_iterator(m_root)) {
            struct stat status;
            if (!item.is_regular_file() || ::lstat(item.path().c_str(), &status) != 0)
                continue;
            auto known = m_ids.find(status.st_ino);
            const uint64_t id = known != m_ids.end() ? known->second : ++m_lastId;
            ids[status.st_ino] = id;
            m_modes[id] = status.st_mode & 07777;
            m_live[item.path().string()] = id;
        }
        m_ids = std::move(ids);
    }

    void Sync(int fd) {
        struct stat status;
        const std::string path = fs::read_symlink("/proc/self/fd/" + std::to_string(fd));
        if (::fstat(fd, &status) != 0 || !path.starts_with(m_root))
            return;
        if (S_ISDIR(status.st_mode)) {
            std::erase_if(m_synced, [&](const auto& entry) { return InFolder(entry.first, path); });
            for (const auto& entry : m_live) {
                if (InFolder(entry.first, path))
                    m_synced.insert(entry);
            }
        } else if (m_ids.count(status.st_ino)) {
            m_durable[m_ids[status.st_ino]] = ReadAll("/proc/self/fd/" + std::to_string(fd));
        }
    }

    void SyncAll() {
        m_synced = m_live;
        for (const auto& [path, id] : m_live)
            m_durable[id] = ReadAll(path);
    }

    // Replaces the installation's files by what the disk holds after the cut.
    void Cut() {
        const auto& names = g_powerCut == "data-lost" ? m_live : m_synced;
        for (const auto& item : fs::directory_iterator(m_root))
            fs::remove_all(item.path());
        for (const auto& [path, id] : names) {
            fs::create_directories(fs::path(path).parent_path());
            std::ofstream(path, std::ios::binary) << m_durable[id];
            ::chmod(path.c_str(), m_modes[id]);
        }
    }

private:
    static bool InFolder(const std::string& path, const std::string& folder) {
        return fs::path(path).parent_path() == fs::path(folder);
    }

    std::string m_root;
    uint64_t m_lastId = 0;
    std::map<ino_t, uint64_t> m_ids;
    std::map<std::string, uint64_t> m_live, m_synced;
    std::map<uint64_t, std::string> m_durable;
    std::map<uint64_t, mode_t> m_modes;
};

DiskModel g_disk;
// The applier runs tools on several threads: one call is counted and modelled at a time.
std::mutex g_lock;
thread_local bool t_modelling = false;  // the model's own calls are not the applier's
std::set<pid_t> g_tools;                // the tools started

// A power cut stops the tools too, before the disk is looked at.
void StopTools() {
    for (const pid_t tool : g_tools) {
        if (::waitpid(tool, nullptr, WNOHANG) == 0) {
            ::kill(tool, SIGKILL);
            ::waitpid(tool, nullptr, 0);
        }
    }
}

enum class Flush { kNone, kFile, kAll };

void Counted(Flush flush = Flush::kNone, int fd = -1, pid_t tool = 0) {
    if (t_modelling)
        return;
    std::lock_guard lock(g_lock);
    if (tool > 0)
        g_tools.insert(tool);
    ++g_operations;
    if (!g_powerCut.empty()) {
        t_modelling = true;
        g_disk.Scan();
        if (flush == Flush::kFile)
            g_disk.Sync(fd);
        else if (flush == Flush::kAll)
            g_disk.SyncAll();
        if (g_operations == g_killAfter) {
            StopTools();
            g_disk.Cut();
        }
        t_modelling = false;
    }
    if (g_operations == g_killAfter)
        ::kill(::getpid(), SIGKILL);
}

// The applier's lines on standard output, for the parent to read.
class PrintingReporter : public ZephPatch::ProgressSink {
public:
    void Report(ZephPatch::ReportLevel level, const std::string& text) override {
        std::printf("%d %s\n", static_cast<int>(level), text.c_str());
    }
    bool ShouldContinue() override { return true; }
    void SetGaugeRange(int) override {}
    void SetGaugeValue(int) override {}
};

}  // namespace

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count) {
    static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t result = real(fd, bytes, count);
    Counted();
    return result;
}

int fsync(int fd) {
    static const auto real = Real<int (*)(int)>("fsync");
    const int result = real(fd);
    Counted(Flush::kFile, fd);
    return result;
}

int syncfs(int fd) {
    static const auto real = Real<int (*)(int)>("syncfs");
    const int result = real(fd);
    Counted(Flush::kAll);
    return result;
}

int rename(const char* from, const char* to) {
    static const auto real = Real<int (*)(const char*, const char*)>("rename");
    const int result = real(from, to);
    Counted();
    return result;
}

int unlink(const char* path) {
    static const auto real = Real<int (*)(const char*)>("unlink");
    const int result = real(path);
    Counted();
    return result;
}

int mkdir(const char* path, mode_t mode) {
    static const auto real = Real<int (*)(const char*, mode_t)>("mkdir");
    const int result = real(path, mode);
    Counted();
    return result;
}

// Tools are started with fork and exec.
pid_t fork() {
    static const auto real = Real<pid_t (*)()>("fork");
    const pid_t result = real();
    if (result == 0) {
        t_modelling = true;  // the child execs the tool; nothing it does is counted
        return result;
    }
    Counted(Flush::kNone, -1, result);
    return result;
}

}  // extern "C"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: apply_patch_child INSTALL PATCH\n");
        return 2;
    }
    PrintingReporter reporter;
    if (!g_powerCut.empty()) {
        t_modelling = true;
        g_disk.Start(argv[1]);
        t_modelling = false;
    }
    const bool ok = ZephPatch::ApplyPatchDirectory(argv[1], argv[2], "ZephLauncher.exe", reporter);
    std::printf("ops %ld\n", g_operations);
    return ok ? 0 : 1;
}
