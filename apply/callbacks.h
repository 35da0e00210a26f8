// The process-wide callbacks through which the applier reports: a total count, a per-entry
// question whether to go on, and messages. Registered once at start-up by the front end.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ZephPatch {

// Message levels: 0 progress detail, 1 step or result, 2 secondary information, 3 error.
constexpr int kLevelDetail = 0;
constexpr int kLevelStep = 1;
constexpr int kLevelInfo = 2;
constexpr int kLevelError = 3;

// Called once per application, before any file is touched, with the number of entries.
using TotalHook = void (*)(int total);
// Called before each entry of each stage; false aborts the application (it is rolled back).
using ShouldContinue = bool (*)();
// Receives every user message with its level. The text is UTF-8.
using MessageSink = void (*)(int level, const std::string& text);

// Stores the three callbacks; each may be null. Always true. Call before any application
// starts (the pointers are read without a lock).
bool SetCallbacks(TotalHook total, ShouldContinue shouldContinue, MessageSink sink);

// Calls for the applier's stages: a null callback means "no total", "go on", "no message".
void ReportTotal(int total);
bool ShouldGoOn();
bool HasMessageSink();
void SendMessage(int level, const std::string& text);

struct HeldMessage {
    int level;
    std::string text;
};

// While it lives, this thread's messages go to `held` instead of the sink, so that work done
// out of entry order can pass them on in order later (PassOn, on the thread that owns the sink).
class HoldMessages {
public:
    explicit HoldMessages(std::vector<HeldMessage>* held);
    ~HoldMessages();
    HoldMessages(const HoldMessages&) = delete;
    HoldMessages& operator=(const HoldMessages&) = delete;

private:
    std::vector<HeldMessage>* m_outer;
};

void PassOn(const std::vector<HeldMessage>& held);

// Builds the text only when a sink is set.
template <typename MakeText>
void Report(int level, MakeText&& makeText) {
    if (HasMessageSink())
        SendMessage(level, std::forward<MakeText>(makeText)());
}

}  // namespace ZephPatch
