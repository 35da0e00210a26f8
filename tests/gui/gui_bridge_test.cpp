// The bridge between the worker and the GUI thread, without a display: a console application
// object stands in for the toolkit, and this thread plays the GUI thread.
#include "app/gui/gui_bridge.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

namespace ZephPatch {
namespace {

using Clock = std::chrono::steady_clock;

class GuiBridgeTest : public ::testing::Test {
protected:
    // Runs the queued calls until `done` holds (or 10 s have passed).
    template <typename Done>
    bool PumpUntil(Done done) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (Clock::now() > deadline)
                return false;
            wxAppConsole::GetInstance()->ProcessPendingEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    wxInitializer m_toolkit;
    wxEvtHandler m_window;
    GuiBridge m_bridge{m_window};
};

TEST_F(GuiBridgeTest, CallsArriveInOrderAndQuestionsWaitForTheAnswer) {
    ASSERT_TRUE(m_toolkit.IsOk());
    std::vector<std::string> seen;  // touched on this thread only
    std::atomic<bool> finished{false};
    int answer = 0;
    std::thread worker([&] {
        m_bridge.Post([&] { seen.push_back("gauge"); });
        auto* event = new wxCommandEvent(wxEVT_MENU, 3);
        event->SetString("line");
        m_bridge.Queue(event);
        answer = m_bridge.Ask<int>(
            [&] {
                seen.push_back("question");
                return 42;
            },
            -1);
        m_bridge.Post([&] { seen.push_back("after"); });
        finished = true;
    });
    m_window.Bind(wxEVT_MENU,
                  [&](wxCommandEvent& event) { seen.push_back(event.GetString().utf8_string()); });
    EXPECT_TRUE(PumpUntil([&] { return finished.load(); }));
    worker.join();
    PumpUntil([&] { return seen.size() == 4; });
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(seen, (std::vector<std::string>{"gauge", "line", "question", "after"}));
}

TEST_F(GuiBridgeTest, ClosingReleasesAWaitingWorkerWithTheFallback) {
    ASSERT_TRUE(m_toolkit.IsOk());
    bool asked = false;
    std::atomic<bool> finished{false};
    bool answer = true;
    std::thread worker([&] {
        answer = m_bridge.Ask<bool>(
            [&] {
                asked = true;
                return true;
            },
            false);
        finished = true;
    });
    // The question is queued and the worker waits; the window goes away unanswered.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!wxAppConsole::GetInstance()->HasPendingEvents() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_bridge.Close();
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(answer);
    EXPECT_FALSE(asked);
    // Nothing more reaches the window.
    bool late = false;
    m_bridge.Post([&] { late = true; });
    wxAppConsole::GetInstance()->ProcessPendingEvents();
    EXPECT_FALSE(late);
}

}  // namespace
}  // namespace ZephPatch
