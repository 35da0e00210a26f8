#include "tools/orbpatch/block_handover.h"

#include <new>

namespace OrbPatch {

bool CodedBytes::Allocate(size_t size) {
    m_bytes.reset(new (std::nothrow) uint8_t[size]);
    m_size = m_bytes ? size : 0;
    return m_bytes || size == 0;
}

void CodedBytes::Reached(size_t size) {
    std::lock_guard lock(m_mutex);
    m_reached = size;
    m_changed.notify_all();
}

void CodedBytes::Finish(const Result& result) {
    std::lock_guard lock(m_mutex);
    if (result.ok()) {
        m_reached = m_size;
    }
    m_end = result;
    m_changed.notify_all();
}

bool CodedBytes::WaitFor(size_t size) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_reached >= size || m_end; });
    return m_reached >= size;
}

Result CodedBytes::WaitForEnd() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_end.has_value(); });
    return *m_end;
}

bool BlockQueue::Push(std::shared_ptr<PendingBlock> block) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_stopped || !m_waiting; });
    if (m_stopped) {
        return false;
    }
    m_waiting = std::move(block);
    m_changed.notify_all();
    return true;
}

std::shared_ptr<PendingBlock> BlockQueue::Pop() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_waiting != nullptr; });
    m_changed.notify_all();
    return std::move(m_waiting);
}

void BlockQueue::Stop() {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_changed.notify_all();
}

}  // namespace OrbPatch
