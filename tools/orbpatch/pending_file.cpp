#include "tools/orbpatch/pending_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace OrbPatch {
namespace {

// The temporary path for the signal handler; g_cleanupArmed says whether it is valid.
char g_cleanupPath[PATH_MAX];
volatile sig_atomic_t g_cleanupArmed = 0;

void ArmCleanup(const std::string& path) {
    g_cleanupArmed = 0;
    if (path.size() < sizeof g_cleanupPath) {
        std::memcpy(g_cleanupPath, path.c_str(), path.size() + 1);
        g_cleanupArmed = 1;
    }
}

void DisarmCleanup() {
    g_cleanupArmed = 0;
}

void OnTerminatingSignal(int sig) {
    if (g_cleanupArmed) {
        unlink(g_cleanupPath);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

std::string Errno() {
    return std::strerror(errno);
}

}  // namespace

PendingFile::~PendingFile() {
    Discard();
}

bool PendingFile::Create(const std::string& finalPath, std::string* why) {
    size_t slash = finalPath.rfind('/');
    std::string folder = slash == std::string::npos ? "." : finalPath.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    if (name.empty()) {
        *why = "no file name";
        return false;
    }
    std::string temp = (slash == std::string::npos ? "./" : folder) + "." + name + ".XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        *why = Errno();
        return false;
    }
    m_fd = fd;
    m_finalPath = finalPath;
    m_tempPath = temp;
    ArmCleanup(m_tempPath);
    return true;
}

bool PendingFile::Write(std::span<const uint8_t> bytes, std::string* why) {
    while (!bytes.empty()) {
        ssize_t n = write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *why = Errno();
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

bool PendingFile::Map(size_t size, uint8_t** data, std::string* why) {
    *data = nullptr;
    if (size == 0) {
        return true;
    }
    int err = posix_fallocate(m_fd, 0, static_cast<off_t>(size));
    if (err != 0) {
        *why = std::strerror(err);
        return false;
    }
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (map == MAP_FAILED) {
        *why = Errno();
        return false;
    }
    // One call instead of a write fault per page; older kernels without it just fault.
    madvise(map, size, MADV_POPULATE_WRITE);
    m_map = static_cast<uint8_t*>(map);
    m_mapSize = size;
    *data = m_map;
    return true;
}

bool PendingFile::Commit(mode_t mode, std::string* why) {
    if (m_map != nullptr) {
        munmap(m_map, m_mapSize);
        m_map = nullptr;
    }
    bool ok = fchmod(m_fd, mode) == 0;
    int fd = m_fd;
    m_fd = -1;
    // close() is where some file systems report a failed write.
    ok = close(fd) == 0 && ok;
    ok = ok && rename(m_tempPath.c_str(), m_finalPath.c_str()) == 0;
    if (!ok) {
        *why = Errno();
        Discard();
        return false;
    }
    m_tempPath.clear();
    DisarmCleanup();
    return true;
}

void PendingFile::Discard() {
    if (m_map != nullptr) {
        munmap(m_map, m_mapSize);
        m_map = nullptr;
    }
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
        DisarmCleanup();
    }
}

void InstallSignalCleanup() {
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    // SIGPIPE too: a killed installer closes the pipe it read our output from.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaction(sig, &action, nullptr);
    }
    // An installer killed mid-patch rolls the file back on its next run; a tool outliving it
    // would then rename its output over the restored file. End with the parent instead, also
    // when it died just before the request took effect.
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) {
        raise(SIGTERM);
    }
}

mode_t DefaultFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace OrbPatch
