#include <windows.h>

#include "assetdb/shared_record_region.h"
#include "kernel/system/wide_text.h"

namespace ZephPatch {

// The mapping is the record itself, as the product's processes map it.
struct SharedRecordRegion::Block {
    DatabaseRecord record;
};

DatabaseRecord& SharedRecordRegion::Record() {
    return m_block->record;
}

// The mutex is created asking for ownership: granted, it is new, and so is the record, which
// this process initialises before anyone else can lock it. An existing mutex is not granted.
bool SharedRecordRegion::Open(const DatabaseObjectNames& names, int32_t creator) {
    Close();
    m_mutex = CreateMutexW(nullptr, TRUE, ZephUtil::ToWide(names.mutexName).c_str());
    if (!m_mutex)
        return false;
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    m_mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(DatabaseRecord),
                           ZephUtil::ToWide(names.mappingName).c_str());
    void* view =
        m_mapping ? MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Block)) : nullptr;
    m_block = static_cast<Block*>(view);
    if (m_block && created)
        m_block->record = NewDatabaseRecord(creator);
    if (created)
        ReleaseMutex(m_mutex);
    if (!m_block) {
        Close();
        return false;
    }
    m_created = created;
    return true;
}

void SharedRecordRegion::Close() {
    if (m_block)
        UnmapViewOfFile(m_block);
    m_block = nullptr;
    // The system removes both objects with their last handle.
    for (void** handle : {&m_mapping, &m_mutex}) {
        if (*handle)
            CloseHandle(*handle);
        *handle = nullptr;
    }
    m_created = false;
}

// A mutex whose holder died is handed over as abandoned: acquired all the same (the record's
// fields are whole words).
bool SharedRecordRegion::Lock() {
    const DWORD result = WaitForSingleObject(m_mutex, INFINITE);
    return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void SharedRecordRegion::Unlock() {
    ReleaseMutex(m_mutex);
}

}  // namespace ZephPatch
