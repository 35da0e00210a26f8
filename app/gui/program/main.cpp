// InstallPatchGUI: the patch installer with its window.
#include <wx/app.h>

#include "app/gui/orvik_patcher_app.h"

wxIMPLEMENT_APP_NO_MAIN(ZephPatch::OrvikPatcherApp);

int main(int argc, char** argv) {
    ZephPatch::OrvikPatcherApp::SetRawArguments(argc, argv);
    return wxEntry(argc, argv);
}
