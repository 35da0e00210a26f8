#include "transfer/current_download.h"

namespace ZephUtil {

bool CurrentDownload::GetReceived(uint64_t* bytes) {
    OS::MutexLock lock(&m_lock);
    if (!m_file)
        return false;
    *bytes = m_file->GetSize();
    return true;
}

PublishedDownload::PublishedDownload(CurrentDownload* current, ZephDataBuffer* file)
    : m_current(current), m_file(file) {
    OS::MutexLock lock(&m_current->m_lock);
    m_current->m_file = file;
}

PublishedDownload::~PublishedDownload() {
    OS::MutexLock lock(&m_current->m_lock);
    m_current->m_file = nullptr;
}

uint64_t PublishedDownload::GetSize() {
    OS::MutexLock lock(&m_current->m_lock);
    return m_file->GetSize();
}

int PublishedDownload::SetSize(uint64_t size) {
    OS::MutexLock lock(&m_current->m_lock);
    return m_file->SetSize(size);
}

uint64_t PublishedDownload::GetPosition() {
    OS::MutexLock lock(&m_current->m_lock);
    return m_file->GetPosition();
}

int PublishedDownload::Seek(uint64_t position) {
    OS::MutexLock lock(&m_current->m_lock);
    return m_file->Seek(position);
}

int PublishedDownload::Write(const void* bytes, uint32_t count) {
    OS::MutexLock lock(&m_current->m_lock);
    return m_file->Write(bytes, count);
}

int PublishedDownload::Read(void* destination, uint32_t count) {
    OS::MutexLock lock(&m_current->m_lock);
    return m_file->Read(destination, count);
}

void PublishedDownload::FlushBuffer() {
    OS::MutexLock lock(&m_current->m_lock);
    m_file->FlushBuffer();
}

}  // namespace ZephUtil
