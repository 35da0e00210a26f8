// InstallPatchGUI: the patch installer with its window.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <wx/app.h>

#include "app/core/patcher_options.h"
#include "app/gui/orvik_patcher_app.h"
#include "kernel/system/version.h"

wxIMPLEMENT_APP_NO_MAIN(ZephPatch::OrvikPatcherApp);

namespace {

constexpr char kProgram[] = "InstallPatchGUI";

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

// Answers --version, and --help where no window can open, on standard output; false when the
// window's start-up should go on.
bool AnsweredOnConsole(int argc, char** argv) {
    using namespace ZephPatch;
    std::vector<CmdLineEntry> table = PatcherOptionTable();
    table.push_back({CmdLineKind::kSwitch, "", "version", "", ""});
    CmdLineParser parser(std::move(table));
    if (!parser.Parse(std::vector<std::string>(argv + 1, argv + argc)))
        return false;  // the window shows the error with the usage
    if (parser.Found("version")) {
        std::puts(ZephUtil::VersionLine(kProgram).c_str());
        return true;
    }
    if (parser.Found("help") && !HasDisplay()) {
        std::fputs(CmdLineParser(PatcherOptionTable()).Usage(kProgram).c_str(), stdout);
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (AnsweredOnConsole(argc, argv))
        return 0;
    ZephPatch::OrvikPatcherApp::SetRawArguments(argc, argv);
    return wxEntry(argc, argv);
}
