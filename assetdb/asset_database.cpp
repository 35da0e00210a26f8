#include "assetdb/asset_database.h"

#include <unistd.h>

#include "assetdb/object_names.h"
#include "kernel/log/system_log.h"
#include "kernel/threads/child_process.h"

namespace ZephPatch {
namespace {

bool IsDead(int32_t process) {
    return process == kNoProcess || !ZephUtil::IsProcessRunning(process);
}

}  // namespace

// Called with the record locked, by a process that did not create the objects. False when
// another process holds the database exclusively and does not admit this one.
bool AssetDatabaseAttachment::CountAttachment(bool asRequester) {
    DatabaseRecord& record = Record();
    const bool admitted = LoadField(record.exclusiveProcess) == 0 ||
                          (asRequester && LoadField(record.admitRequesters) != 0);
    if (!admitted)
        return false;
    if (LoadField(record.recordVersion) == 0 && LoadField(record.primaryProcess) == 0) {
        // Never initialised by whoever made it: this process makes and maintains it.
        record = NewDatabaseRecord(m_ownId);
        m_maintainer = true;
    }
    if (LoadField(record.recordVersion) != 0) {
        StoreField(record.attachCount, static_cast<int8_t>(LoadField(record.attachCount) + 1));
    } else {
        StoreField(record.attachCount, static_cast<int8_t>(-1));
    }
    return true;
}

// Clears `field` when it still names the dead process `seen`, with the log line `format`.
void AssetDatabaseAttachment::ClearDeadProcess(int32_t& field, int32_t seen, const char* format) {
    RecordLock lock(m_region);
    if (!lock.Locked() || LoadField(field) != seen)
        return;
    ZephUtil::Print(format, seen);
    StoreField(field, kNoProcess);
}

void AssetDatabaseAttachment::ClearIfDeadOther(int32_t& field, const char* format) {
    const int32_t process = LoadField(field);
    if (process != kNoProcess && process != m_ownId && !ZephUtil::IsProcessRunning(process)) {
        ClearDeadProcess(field, process, format);
    }
}

bool AssetDatabaseAttachment::AttachDatabase(const std::string& databasePath, bool asRequester) {
    if (Attached())
        return true;
    DatabaseObjectNames names;
    if (!MakeDatabaseObjectNames(databasePath, &names))
        return false;
    m_ownId = static_cast<int32_t>(getpid());
    if (!m_region.Open(names, m_ownId))
        return false;

    if (m_region.Created()) {
        m_maintainer = true;
    } else {
        bool counted = false;
        {
            RecordLock lock(m_region);
            counted = lock.Locked() && CountAttachment(asRequester);
        }
        if (!counted) {
            DetachDatabase();
            return false;
        }
    }
    IPCIdle();
    IPCIdle();
    return true;
}

void AssetDatabaseAttachment::DetachDatabase() {
    if (!Attached())
        return;
    DatabaseRecord& record = Record();
    if (LoadField(record.ownerProcess) == m_ownId)
        StoreField(record.ownerProcess, kNoProcess);
    if (m_maintainer) {
        RecordLock lock(m_region);
        if (lock.Locked()) {
            StoreField(record.primaryProcess, kNoProcess);
            if (LoadField(record.recordVersion) >= 1) {
                StoreField(record.attachCount,
                           static_cast<int8_t>(LoadField(record.attachCount) - 1));
            }
        }
    }
    m_region.Close();
    m_maintainer = false;
}

void AssetDatabaseAttachment::IPCIdle() {
    if (!Attached())
        return;
    DatabaseRecord& record = Record();
    if (!m_maintainer) {
        if (IsDead(LoadField(record.primaryProcess))) {
            RecordLock lock(m_region);
            if (lock.Locked() && IsDead(LoadField(record.primaryProcess))) {
                StoreField(record.primaryProcess, m_ownId);
                m_maintainer = true;
                return;
            }
        }
    } else {
        ClearIfDeadOther(record.ownerProcess,
                         "IPCIdle> clearing dead database owner (owner processID was %d)\n");
        ClearIfDeadOther(
            record.requesterProcess,
            "IPCIdle> clearing dead database requester (requester processID was %d)\n");
    }
    const int32_t own = m_ownId;
    if (LoadField(record.requesterProcess) == own && LoadField(record.ownerProcess) == own) {
        RecordLock lock(m_region);
        if (lock.Locked() && LoadField(record.requesterProcess) == own &&
            LoadField(record.ownerProcess) == own) {
            StoreField(record.requesterProcess, kNoProcess);
        }
    }
}

bool AssetDatabaseAttachment::TryTakeOwnership(bool registerAsRequester) {
    if (!Attached())
        return false;
    DatabaseRecord& record = Record();
    const int32_t own = m_ownId;
    if (LoadField(record.ownerProcess) == own)
        return true;
    RecordLock lock(m_region);
    if (!lock.Locked())
        return false;
    const int32_t requester = LoadField(record.requesterProcess);
    if (LoadField(record.ownerProcess) == kNoProcess &&
        (requester == kNoProcess || requester == own)) {
        StoreField(record.ownerProcess, own);
        StoreField(record.requesterProcess, kNoProcess);
        return true;
    }
    if (requester == kNoProcess && registerAsRequester)
        StoreField(record.requesterProcess, own);
    return false;
}

int AssetDatabaseAttachment::GetAttachCount() {
    return Attached() ? LoadField(Record().attachCount) : 0;
}

bool AssetDatabaseAttachment::TryLockExclusive() {
    if (!Attached())
        return false;
    DatabaseRecord& record = Record();
    if (LoadField(record.exclusiveProcess) != 0 || LoadField(record.attachCount) > 1)
        return false;
    if (!TryTakeOwnership(true))
        return false;
    RecordLock lock(m_region);
    if (!lock.Locked() || LoadField(record.exclusiveProcess) != 0)
        return false;
    StoreField(record.exclusiveProcess, m_ownId);
    return true;
}

void AssetDatabaseAttachment::ReleaseExclusive() {
    if (!Attached())
        return;
    DatabaseRecord& record = Record();
    if (LoadField(record.exclusiveProcess) != m_ownId)
        return;
    StoreField(record.exclusiveProcess, 0);
    if (LoadField(record.ownerProcess) == m_ownId)
        StoreField(record.ownerProcess, kNoProcess);
}

SharedRecordRegion* AssetDatabaseAttachment::AttachedRecord() {
    return Attached() ? &m_region : nullptr;
}

}  // namespace ZephPatch
