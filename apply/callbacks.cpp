#include "apply/callbacks.h"

namespace ZephPatch {
namespace {

TotalHook g_totalHook = nullptr;
ShouldContinue g_shouldContinue = nullptr;
MessageSink g_messageSink = nullptr;
thread_local std::vector<HeldMessage>* t_held = nullptr;

}  // namespace

bool SetCallbacks(TotalHook total, ShouldContinue shouldContinue, MessageSink sink) {
    g_totalHook = total;
    g_shouldContinue = shouldContinue;
    g_messageSink = sink;
    return true;
}

void ReportTotal(int total) {
    if (g_totalHook)
        g_totalHook(total);
}

bool ShouldGoOn() {
    return !g_shouldContinue || g_shouldContinue();
}

bool HasMessageSink() {
    return g_messageSink != nullptr;
}

void SendMessage(int level, const std::string& text) {
    if (t_held)
        t_held->push_back({level, text});
    else if (g_messageSink)
        g_messageSink(level, text);
}

HoldMessages::HoldMessages(std::vector<HeldMessage>* held) : m_outer(t_held) {
    t_held = held;
}

HoldMessages::~HoldMessages() {
    t_held = m_outer;
}

void PassOn(const std::vector<HeldMessage>& held) {
    for (const HeldMessage& message : held)
        SendMessage(message.level, message.text);
}

}  // namespace ZephPatch
