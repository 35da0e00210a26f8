// Carries the worker's calls to the GUI thread. GTK 3 has no usable GUI lock, so every call
// from another thread becomes a queued event or a queued function, run on the GUI thread in
// the order the calls were made; a question waits until the GUI thread has answered it.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include <wx/event.h>

namespace ZephPatch {

class GuiBridge {
public:
    explicit GuiBridge(wxEvtHandler& window) : m_window(window) {}
    GuiBridge(const GuiBridge&) = delete;
    GuiBridge& operator=(const GuiBridge&) = delete;

    // Queues `event` (taking it) for the window; dropped after Close. Safe for concurrent use.
    void Queue(wxEvent* event);
    // Queues `call` for the GUI thread; dropped after Close. Safe for concurrent use.
    void Post(std::function<void()> call);
    // Runs `ask` on the GUI thread and returns its answer, or `fallback` when Close comes
    // first. REQUIRES: not called on the GUI thread (it would wait for itself).
    template <typename T>
    [[nodiscard]] T Ask(std::function<T()> ask, T fallback);
    // From now on nothing reaches the window and waiting askers get their fallbacks. Called by
    // the window before it goes away.
    void Close();

private:
    template <typename T>
    struct Answer {
        bool given = false;
        T value{};
    };

    wxEvtHandler& m_window;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_closed = false;
};

template <typename T>
T GuiBridge::Ask(std::function<T()> ask, T fallback) {
    auto answer = std::make_shared<Answer<T>>();
    Post([this, answer, ask] {
        T value = ask();
        {
            std::lock_guard lock(m_mutex);
            answer->value = std::move(value);
            answer->given = true;
        }
        m_answered.notify_all();
    });
    std::unique_lock lock(m_mutex);
    m_answered.wait(lock, [&] { return answer->given || m_closed; });
    return answer->given ? answer->value : fallback;
}

}  // namespace ZephPatch
