#include "tools/orbpatch/pending_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
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

// The folder part of `path` with its final '/', "./" for a bare name.
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

// The temporary name beside `finalPath`, with mkstemp's six letters or digits at the end.
std::string TemporaryName(const std::string& finalPath, const char* suffix) {
    return FolderOf(finalPath) + "." + finalPath.substr(finalPath.rfind('/') + 1) + "." + suffix;
}

// Gives the nameless file `fd` the name `path`; fails with EEXIST when the name is taken.
bool LinkOpenFile(int fd, const std::string& path) {
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    // Without /proc the file's own descriptor names it (a privilege on older kernels).
    return errno == ENOENT && access("/proc/self", F_OK) != 0 &&
           linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0;
}

}  // namespace

PendingFile::~PendingFile() {
    Discard();
}

bool PendingFile::Create(const std::string& finalPath, std::string* why) {
    if (finalPath.empty() || finalPath.back() == '/') {
        *why = "no file name";
        return false;
    }
    m_finalPath = finalPath;
    int fd = open(FolderOf(finalPath).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    // Kernels and file systems without nameless files refuse in one of these ways.
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        std::string temp = TemporaryName(finalPath, "XXXXXX");
        fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd >= 0) {
            m_tempPath = temp;
            ArmCleanup(m_tempPath);
        }
    }
    if (fd < 0) {
        *why = Errno();
        return false;
    }
    m_fd = fd;
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

bool PendingFile::Commit(mode_t mode, std::string* why) {
    bool ok = fchmod(m_fd, mode) == 0;
    bool linkedFinal = false;
    if (ok && m_tempPath.empty()) {
        linkedFinal = LinkOpenFile(m_fd, m_finalPath);
        ok = linkedFinal || (errno == EEXIST && LinkUnderTemporaryName());
    }
    int error = errno;
    int fd = m_fd;
    m_fd = -1;
    // close() is where some file systems report a failed write.
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && !linkedFinal && rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        *why = std::strerror(error);
        if (linkedFinal) {
            unlink(m_finalPath.c_str());
        }
        Discard();
        return false;
    }
    m_tempPath.clear();
    DisarmCleanup();
    return true;
}

bool PendingFile::LinkUnderTemporaryName() {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (getrandom(random, sizeof random, 0) != sizeof random) {
            return false;
        }
        char suffix[sizeof random + 1] = {};
        for (size_t i = 0; i < sizeof random; ++i) {
            suffix[i] = kLetters[random[i] % (sizeof kLetters - 1)];
        }
        // Armed before the name exists, so that no moment leaves it behind a signal.
        std::string temp = TemporaryName(m_finalPath, suffix);
        ArmCleanup(temp);
        if (LinkOpenFile(m_fd, temp)) {
            m_tempPath = temp;
            return true;
        }
        DisarmCleanup();
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

void PendingFile::Discard() {
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
}

mode_t DefaultFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace OrbPatch
