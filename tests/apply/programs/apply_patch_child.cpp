// Applies one patch directory, for tests that kill the applying process part-way:
//   apply_patch_child INSTALL PATCH
// Every file-changing call the applier makes (write, fsync, syncfs, rename, unlink, mkdir,
// posix_spawn) is counted here, in front of the C library. With APPLY_KILL_AFTER=k the
// process kills itself (SIGKILL) right after its k-th such call, so tests reach every moment
// of an application deterministically. Prints "ops <n>" at the end and exits 0 on success.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "apply/apply_patch_directory.h"
#include "apply/callbacks.h"

namespace {

long g_operations = 0;
const long g_killAfter = [] {
    const char* value = std::getenv("APPLY_KILL_AFTER");
    return value ? std::atol(value) : 0L;
}();

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void Counted() {
    if (++g_operations == g_killAfter)
        ::kill(::getpid(), SIGKILL);
}

void PrintMessage(int level, const std::string& text) {
    std::printf("%d %s\n", level, text.c_str());
}

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
    Counted();
    return result;
}

int syncfs(int fd) {
    static const auto real = Real<int (*)(int)>("syncfs");
    const int result = real(fd);
    Counted();
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

int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
    using Spawn = int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*,
                          const posix_spawnattr_t*, char* const[], char* const[]);
    static const auto real = Real<Spawn>("posix_spawn");
    const int result = real(pid, path, actions, attributes, argv, envp);
    Counted();
    return result;
}

}  // extern "C"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: apply_patch_child INSTALL PATCH\n");
        return 2;
    }
    ZephPatch::SetCallbacks(nullptr, nullptr, PrintMessage);
    const bool ok = ZephPatch::ApplyPatchDirectory(argv[1], argv[2], "ZephLauncher.exe");
    std::printf("ops %ld\n", g_operations);
    return ok ? 0 : 1;
}
