#include "assetdb/shared_record_region.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace ZephPatch {

struct SharedRecordRegion::Block {
    DatabaseRecord record;
    uint32_t reserved;
    pthread_mutex_t mutex;
};

namespace {

constexpr off_t kGateByte = 0;      // held exclusively while opening or closing
constexpr off_t kPresenceByte = 1;  // held shared by every process that has the object open
// An opener that keeps finding objects just removed by their last user gives up eventually.
constexpr int kOpenAttempts = 100;

// Open-file-description locks: owned by this descriptor, released by the kernel when the
// descriptor is closed or the process dies.
bool LockByte(int fd, off_t byte, short type, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    int result;
    do {
        result = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

}  // namespace

DatabaseRecord& SharedRecordRegion::Record() {
    return m_block->record;
}

bool SharedRecordRegion::Open(const DatabaseObjectNames& names, int32_t creator) {
    const std::string& name = names.sharedObjectName;
    Close();
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        bool retry = false;
        if (OpenOnce(name, creator, &retry))
            return true;
        if (!retry)
            return false;
    }
    return false;
}

bool SharedRecordRegion::OpenOnce(const std::string& name, int32_t creator, bool* retry) {
    ZephUtil::UniqueFd opened(shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    const int fd = opened.Get();
    if (fd < 0)
        return false;
    struct stat info {};
    if (!LockByte(fd, kGateByte, F_WRLCK, true) || fstat(fd, &info) != 0)
        return false;
    if (info.st_nlink == 0) {
        // Its last user removed it between our open and our lock: open the name again.
        *retry = true;
        return false;
    }
    m_fd = std::move(opened);
    m_name = name;
    const bool alone = LockByte(fd, kPresenceByte, F_WRLCK, false);
    bool ok;
    if (alone) {
        ok = InitialiseBlock(creator) && LockByte(fd, kPresenceByte, F_RDLCK, false);
    } else {
        ok = info.st_size >= static_cast<off_t>(sizeof(Block)) &&
             LockByte(fd, kPresenceByte, F_RDLCK, false);
        if (ok) {
            void* mapped = mmap(nullptr, sizeof(Block), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            ok = mapped != MAP_FAILED;
            if (ok)
                m_block = static_cast<Block*>(mapped);
        }
    }
    m_created = ok && alone;
    LockByte(fd, kGateByte, F_UNLCK, false);
    if (!ok) {
        if (m_block)
            munmap(m_block, sizeof(Block));
        m_block = nullptr;
        m_fd.Reset();
        // Our half-made object must not stay behind for others to trip over.
        if (alone)
            shm_unlink(name.c_str());
    }
    return ok;
}

bool SharedRecordRegion::InitialiseBlock(int32_t creator) {
    // Nobody else has the object open: it is new, or left by processes that all died.
    if (ftruncate(m_fd.Get(), 0) != 0 || ftruncate(m_fd.Get(), sizeof(Block)) != 0)
        return false;
    void* mapped = mmap(nullptr, sizeof(Block), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd.Get(), 0);
    if (mapped == MAP_FAILED)
        return false;
    m_block = static_cast<Block*>(mapped);
    m_block->record = NewDatabaseRecord(creator);

    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0)
        return false;
    const bool ok = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
                    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
                    pthread_mutex_init(&m_block->mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return ok;
}

void SharedRecordRegion::Close() {
    if (!m_fd.IsOpen())
        return;
    LockByte(m_fd.Get(), kGateByte, F_WRLCK, true);
    // Exclusive use of the presence byte means every other opener has gone.
    if (LockByte(m_fd.Get(), kPresenceByte, F_WRLCK, false))
        shm_unlink(m_name.c_str());
    munmap(m_block, sizeof(Block));
    m_block = nullptr;
    m_fd.Reset();  // drops both locks
    m_created = false;
}

bool SharedRecordRegion::Lock() {
    const int result = pthread_mutex_lock(&m_block->mutex);
    if (result == EOWNERDEAD) {
        // The holder died mid-change; the record's fields are whole words, so carry on.
        return pthread_mutex_consistent(&m_block->mutex) == 0;
    }
    return result == 0;
}

void SharedRecordRegion::Unlock() {
    pthread_mutex_unlock(&m_block->mutex);
}

}  // namespace ZephPatch
