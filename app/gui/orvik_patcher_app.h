// `OrvikPatcherApp`: the window application's start and exit. It runs the shared start-up
// (options, installation, rights) and keeps its settings, the socket manager and the asset
// database's attachment to the end, opens the main window, looks for embedded patches and starts
// the session at once in download and repair mode; at exit it runs the `onexit` program.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <wx/app.h>

#include "app/core/shell_state.h"
#include "app/gui/patch_main_frame.h"
#include "net/cp_socket_manager.h"
#include "session/patch_settings.h"

namespace ZephPatch {

class OrvikPatcherApp : public wxApp {
public:
    // The arguments as the process received them (UTF-8 bytes), before the toolkit removes
    // its own. Call from main before the toolkit starts.
    static void SetRawArguments(int argc, char** argv);

    // False ends the program: rights missing, or an elevated copy has run.
    [[nodiscard]] bool OnInit() override;
    [[nodiscard]] int OnExit() override;
    // A crash report, a message box, and the end of the process with exit code -1.
    void OnUnhandledException() override;

    [[nodiscard]] PatchMainFrame* MainWindow() const { return m_mainFrame; }
    [[nodiscard]] const ShellState& State() const { return m_state; }

private:
    [[nodiscard]] ShellHooks MakeShellHooks();
    void OpenMainWindow();
    // The embedded patch check and what follows from it, once the event loop runs.
    void FinishStartup();
    void ChooseWhatFollows();

    ShellState m_state;
    // Outlives the window, whose destruction joins the worker that reads it.
    PatchSettings m_settings;
    // Likewise: an exclusive hold on the asset database lasts until a later session or exit.
    AssetDatabaseAttachment m_assetDatabase;
    PatchMainFrame* m_mainFrame = nullptr;
    // Lines reported before the window exists, shown in its log once it does.
    std::vector<std::pair<ReportLevel, std::string>> m_earlyLines;
    // The socket manager, from start-up to exit.
    std::optional<ZephUtil::SocketManagerHold> m_sockets;
};

}  // namespace ZephPatch
