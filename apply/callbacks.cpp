#include "apply/callbacks.h"

namespace ZephPatch {
namespace {

TotalHook g_totalHook = nullptr;
ShouldContinue g_shouldContinue = nullptr;
MessageSink g_messageSink = nullptr;

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
    if (g_messageSink)
        g_messageSink(level, text);
}

}  // namespace ZephPatch
