// Writes a fixed set of log lines, for the tests of the output destinations.
#include "kernel/log/system_log.h"

using namespace ZephUtil;

int main() {
    Print("plain line %d", 1);
    PrintW(L"wide %ls", L"caf\u00e9 \u2013 \u201cq\u201d");
    Print("%s", "");
    PrintTo(kLogConsole, "console only");
    PrintTo(kLogDebugger, "debugger only");
    VelmorLog("velmor %s", "text");
    return 0;
}
