// The shared objects that hold the coordination record and its mutex, alive while at least one
// process has them open: an object whose openers all died is initialised afresh by the next one.
//
// On Windows they are the product's own: the named mutex and the named page-file mapping of the
// record, which the system removes with their last handle. On POSIX one shared-memory object
// holds the record and a process-shared robust mutex; liveness is tracked by the kernel, not by
// the record: every opener holds a shared lock on byte 1 of the object for as long as it has it
// open (the kernel drops it when the process dies); byte 0 is an exclusive lock held only while
// opening or closing, so that "am I the only one?" and the creation or removal that follows are
// one step.
#pragma once

#include <cstdint>
#include <string>

#include "assetdb/database_record.h"
#include "assetdb/object_names.h"
#include "kernel/files/unique_fd.h"

namespace ZephPatch {

class SharedRecordRegion {
public:
    SharedRecordRegion() = default;
    ~SharedRecordRegion() { Close(); }
    SharedRecordRegion(const SharedRecordRegion&) = delete;
    SharedRecordRegion& operator=(const SharedRecordRegion&) = delete;

    // Opens or creates the objects `names` gives. When no other process has them open, the
    // record is (re)initialised for `creator` and Created() is true. False when the objects
    // cannot be opened, mapped or locked.
    [[nodiscard]] bool Open(const DatabaseObjectNames& names, int32_t creator);
    // Unmaps and closes; removes the object when no other process has it open. Idempotent.
    void Close();

    [[nodiscard]] bool IsOpen() const { return m_block != nullptr; }
    [[nodiscard]] bool Created() const { return m_created; }
    DatabaseRecord& Record();

    // Waits without limit; a lock left by a process that died counts as acquired. False only
    // when the mutex is unusable.
    [[nodiscard]] bool Lock();
    void Unlock();

private:
    struct Block;

    [[nodiscard]] bool OpenOnce(const std::string& name, int32_t creator, bool* retry);
    [[nodiscard]] bool InitialiseBlock(int32_t creator);

    std::string m_name;
    ZephUtil::UniqueFd m_fd;  // POSIX: the shared-memory object
    void* m_mutex = nullptr;  // Windows: the named mutex and the mapping (HANDLEs)
    void* m_mapping = nullptr;
    Block* m_block = nullptr;
    bool m_created = false;
};

// The record locked for the lifetime of this object (when Lock() succeeded).
class RecordLock {
public:
    explicit RecordLock(SharedRecordRegion& region) : m_region(region), m_locked(region.Lock()) {}
    ~RecordLock() {
        if (m_locked)
            m_region.Unlock();
    }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
    [[nodiscard]] bool Locked() const { return m_locked; }

private:
    SharedRecordRegion& m_region;
    bool m_locked;
};

}  // namespace ZephPatch
