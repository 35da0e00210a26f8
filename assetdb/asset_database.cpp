#include "assetdb/asset_database.h"

#include <unistd.h>

#include "assetdb/object_names.h"
#include "kernel/threads/child_process.h"
#include "kernel/log/system_log.h"

namespace ZephPatch {
namespace {

struct Attachment {
    SharedRecordRegion region;
    int32_t ownId = kNoProcess;
    bool maintainer = false;
};

// Closing the objects at exit (without touching the record) is what the last process's
// handles closing does on other systems: the object goes with its last user.
Attachment g_attachment;

bool Attached() {
    return g_attachment.region.IsOpen();
}
DatabaseRecord& Record() {
    return g_attachment.region.Record();
}

bool IsDead(int32_t process) {
    return process == kNoProcess || !ZephUtil::IsProcessRunning(process);
}

// Called with the record locked, by a process that did not create the objects. False when
// another process holds the database exclusively and does not admit this one.
bool CountAttachment(bool asRequester) {
    DatabaseRecord& record = Record();
    const bool admitted = LoadField(record.exclusiveProcess) == 0 ||
                          (asRequester && LoadField(record.admitRequesters) != 0);
    if (!admitted)
        return false;
    if (LoadField(record.recordVersion) == 0 && LoadField(record.primaryProcess) == 0) {
        // Never initialised by whoever made it: this process makes and maintains it.
        record = NewDatabaseRecord(g_attachment.ownId);
        g_attachment.maintainer = true;
    }
    if (LoadField(record.recordVersion) != 0) {
        StoreField(record.attachCount, static_cast<int8_t>(LoadField(record.attachCount) + 1));
    } else {
        StoreField(record.attachCount, static_cast<int8_t>(-1));
    }
    return true;
}

// Clears `field` when it still names the dead process `seen`, with the log line `format`.
void ClearDeadProcess(int32_t& field, int32_t seen, const char* format) {
    RecordLock lock(g_attachment.region);
    if (!lock.Locked() || LoadField(field) != seen)
        return;
    ZephUtil::Print(format, seen);
    StoreField(field, kNoProcess);
}

void ClearIfDeadOther(int32_t& field, const char* format) {
    const int32_t process = LoadField(field);
    if (process != kNoProcess && process != g_attachment.ownId &&
        !ZephUtil::IsProcessRunning(process)) {
        ClearDeadProcess(field, process, format);
    }
}

}  // namespace

bool AttachDatabase(const std::string& databasePath, bool asRequester) {
    if (Attached())
        return true;
    DatabaseObjectNames names;
    if (!MakeDatabaseObjectNames(databasePath, &names))
        return false;
    g_attachment.ownId = static_cast<int32_t>(getpid());
    if (!g_attachment.region.Open(names.sharedObjectName, g_attachment.ownId))
        return false;

    if (g_attachment.region.Created()) {
        g_attachment.maintainer = true;
    } else {
        bool counted = false;
        {
            RecordLock lock(g_attachment.region);
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

void DetachDatabase() {
    if (!Attached())
        return;
    DatabaseRecord& record = Record();
    if (LoadField(record.ownerProcess) == g_attachment.ownId)
        StoreField(record.ownerProcess, kNoProcess);
    if (g_attachment.maintainer) {
        RecordLock lock(g_attachment.region);
        if (lock.Locked()) {
            StoreField(record.primaryProcess, kNoProcess);
            if (LoadField(record.recordVersion) >= 1) {
                StoreField(record.attachCount,
                           static_cast<int8_t>(LoadField(record.attachCount) - 1));
            }
        }
    }
    g_attachment.region.Close();
    g_attachment.maintainer = false;
}

void IPCIdle() {
    if (!Attached())
        return;
    DatabaseRecord& record = Record();
    if (!g_attachment.maintainer) {
        if (IsDead(LoadField(record.primaryProcess))) {
            RecordLock lock(g_attachment.region);
            if (lock.Locked() && IsDead(LoadField(record.primaryProcess))) {
                StoreField(record.primaryProcess, g_attachment.ownId);
                g_attachment.maintainer = true;
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
    const int32_t own = g_attachment.ownId;
    if (LoadField(record.requesterProcess) == own && LoadField(record.ownerProcess) == own) {
        RecordLock lock(g_attachment.region);
        if (lock.Locked() && LoadField(record.requesterProcess) == own &&
            LoadField(record.ownerProcess) == own) {
            StoreField(record.requesterProcess, kNoProcess);
        }
    }
}

bool TryTakeOwnership(bool registerAsRequester) {
    if (!Attached())
        return false;
    DatabaseRecord& record = Record();
    const int32_t own = g_attachment.ownId;
    if (LoadField(record.ownerProcess) == own)
        return true;
    RecordLock lock(g_attachment.region);
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

int GetAttachCount() {
    return Attached() ? LoadField(Record().attachCount) : 0;
}

bool TryLockExclusive() {
    if (!Attached())
        return false;
    DatabaseRecord& record = Record();
    if (LoadField(record.exclusiveProcess) != 0 || LoadField(record.attachCount) > 1)
        return false;
    if (!TryTakeOwnership(true))
        return false;
    RecordLock lock(g_attachment.region);
    if (!lock.Locked() || LoadField(record.exclusiveProcess) != 0)
        return false;
    StoreField(record.exclusiveProcess, g_attachment.ownId);
    return true;
}

void ReleaseExclusive() {
    if (!Attached())
        return;
    DatabaseRecord& record = Record();
    if (LoadField(record.exclusiveProcess) != g_attachment.ownId)
        return;
    StoreField(record.exclusiveProcess, 0);
    if (LoadField(record.ownerProcess) == g_attachment.ownId)
        StoreField(record.ownerProcess, kNoProcess);
}

SharedRecordRegion* AttachedRecord() {
    return Attached() ? &g_attachment.region : nullptr;
}

}  // namespace ZephPatch
