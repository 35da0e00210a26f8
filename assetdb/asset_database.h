// This process's attachment to the asset database's coordination record, shared with the
// product's own processes (daemon, utility, simulator). One attachment per process, owned by
// the front end for the program's lifetime: an exclusive hold a session takes lasts until a
// later session releases it or the program ends. REQUIRES: calls from one thread at a time
// (the patch worker).
#pragma once

#include <string>

#include "assetdb/shared_record_region.h"

namespace ZephPatch {

class AssetDatabaseAttachment {
public:
    AssetDatabaseAttachment() = default;
    // Closes the objects without touching the record: what the last user's handles closing
    // does on other systems.
    ~AssetDatabaseAttachment() = default;
    AssetDatabaseAttachment(const AssetDatabaseAttachment&) = delete;
    AssetDatabaseAttachment& operator=(const AssetDatabaseAttachment&) = delete;
    // True when attached (also when already attached). `asRequester`: attach even while another
    // process holds the database exclusively, if that holder admits requesters. False for a path
    // that does not name "assets.tdx" in an existing folder, when the objects cannot be made, or
    // while another process holds the database exclusively.
    [[nodiscard]] bool AttachDatabase(const std::string& databasePath, bool asRequester);
    // Gives up ownership and, as maintainer, the maintainer role and this process's count; closes
    // the shared objects. Nothing when not attached.
    void DetachDatabase();
    // Housekeeping of processes that died while named in the record; run twice by AttachDatabase.
    void IPCIdle();
    // True when this process owns the database afterwards. With `registerAsRequester`, a process
    // that cannot take it now queues itself as the requester when that slot is free.
    [[nodiscard]] bool TryTakeOwnership(bool registerAsRequester);
    // The record's attach count as a signed value (-1 when not counted); 0 when not attached.
    [[nodiscard]] int GetAttachCount();
    // True when this process now holds the database exclusively; possible only while no other
    // process is counted as attached.
    [[nodiscard]] bool TryLockExclusive();
    void ReleaseExclusive();

    // The attached record, for the product's own tools and tests that inspect or publish fields;
    // null when not attached.
    [[nodiscard]] SharedRecordRegion* AttachedRecord();

private:
    [[nodiscard]] bool Attached() const { return m_region.IsOpen(); }
    DatabaseRecord& Record() { return m_region.Record(); }
    [[nodiscard]] bool CountAttachment(bool asRequester);
    void ClearDeadProcess(int32_t& field, int32_t seen, const char* format);
    void ClearIfDeadOther(int32_t& field, const char* format);

    SharedRecordRegion m_region;
    int32_t m_ownId = kNoProcess;
    bool m_maintainer = false;
};

}  // namespace ZephPatch
