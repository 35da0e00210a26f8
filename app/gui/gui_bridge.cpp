#include "app/gui/gui_bridge.h"

namespace ZephPatch {

void GuiBridge::Queue(wxEvent* event) {
    std::lock_guard lock(m_mutex);
    if (m_closed) {
        delete event;
        return;
    }
    m_window.QueueEvent(event);
}

void GuiBridge::Post(std::function<void()> call) {
    // Holding the lock keeps Close from returning while the window is being handed a call.
    std::lock_guard lock(m_mutex);
    if (!m_closed)
        m_window.CallAfter(std::move(call));
}

void GuiBridge::Close() {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_answered.notify_all();
}

}  // namespace ZephPatch
