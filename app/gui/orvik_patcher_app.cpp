#include "app/gui/orvik_patcher_app.h"

#include <cstdlib>

#include <wx/msgdlg.h>

#include "app/core/on_exit_program.h"
#include "app/core/startup.h"
#include "app/gui/usage_dialog.h"
#include "kernel/crash/crash.h"
#include "net/cp_socket_manager.h"
#include "package/embedded_patch_container.h"
#include "session/embedded_patch_check.h"
#include "session/patch_settings.h"

namespace ZephPatch {
namespace {

std::vector<std::string> g_rawArguments;
wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

// Lives to the end of the process: the worker reads patches from it.
EmbeddedPatchContainer& ProcessContainer() {
    static EmbeddedPatchContainer container;
    return container;
}

}  // namespace

void OrvikPatcherApp::SetRawArguments(int argc, char** argv) {
    g_rawArguments.assign(argv, argv + argc);
}

ShellHooks OrvikPatcherApp::MakeShellHooks() {
    ShellHooks hooks;
    hooks.messageBox = [](const std::string& text, const std::string& caption) {
        wxMessageBox(FromUtf8(text), FromUtf8(caption), wxOK | wxICON_ERROR);
    };
    hooks.report = [this](ReportLevel level, const std::string& text) {
        m_earlyLines.emplace_back(level, text);
    };
    hooks.showUsage = [](const std::string& text) { ShowUsageDialog(FromUtf8(text)); };
    return hooks;
}

bool OrvikPatcherApp::OnInit() {
    ZephUtil::InstallCrashHandlers(false);
    m_sockets.emplace();

    std::vector<const char*> argv;
    for (const auto& argument : g_rawArguments)
        argv.push_back(argument.c_str());
    std::optional<PatchSettings> settings =
        RunShellStartup(static_cast<int>(argv.size()), argv.data(), &m_state, MakeShellHooks());
    if (!settings) {
        // A copy that ran and failed may never have shown a window (no display, say).
        if (m_state.elevatedExitCode > 0)
            wxMessageBox(wxString::Format("The installer started with root rights ended with "
                                          "exit status %d.",
                                          m_state.elevatedExitCode),
                         "InstallPatchGUI", wxOK | wxICON_ERROR);
        m_sockets.reset();
        ZephUtil::DisarmCrashHandlers();
        return false;
    }
    m_settings = std::move(*settings);
    OpenMainWindow();
    // The check may run the product's utility; the window is painted first, not after it.
    CallAfter([this] { FinishStartup(); });
    return true;
}

void OrvikPatcherApp::FinishStartup() {
    if (!m_mainFrame)
        return;  // closed before the event loop ran
    // What it found has been shown through the host.
    (void)CheckEmbeddedPatches(ProcessContainer(), m_settings, m_state.executablePath, false,
                               m_mainFrame->MakeCheckHost());
    if (!m_mainFrame)
        return;
    m_mainFrame->PathLine()->SetValue(FromUtf8(m_settings.installPath));
    ChooseWhatFollows();
}

void OrvikPatcherApp::OpenMainWindow() {
    m_mainFrame =
        new PatchMainFrame(m_settings, ProcessContainer(), m_assetDatabase, m_state.executablePath);
    m_mainFrame->Bind(wxEVT_DESTROY, [this](wxWindowDestroyEvent& event) {
        if (event.GetEventObject() == m_mainFrame) {
            m_mainFrame = nullptr;
        }
        event.Skip();
    });
    m_mainFrame->Show();
    m_mainFrame->SetDebugMode(m_state.debugMode);
    SetTopWindow(m_mainFrame);
    for (const auto& [level, text] : m_earlyLines)
        m_mainFrame->AppendLine(level, FromUtf8(text));
    m_earlyLines.clear();
}

void OrvikPatcherApp::ChooseWhatFollows() {
    switch (ChooseRunMode(m_settings)) {
        case RunMode::kRepair:
        case RunMode::kDownload:
            (void)m_mainFrame->StartSession();  // false only while a session runs already
            break;
        case RunMode::kNone:
            m_mainFrame->ApplyButton()->Disable();
            m_mainFrame->AppendLine(ReportLevel::kError, MSG_NO_VALID_OPERATION);
            break;
        case RunMode::kStandalone:
            break;
    }
}

int OrvikPatcherApp::OnExit() {
    RunOnExitProgram(m_state);
    m_sockets.reset();
    ZephUtil::DisarmCrashHandlers();
    return wxApp::OnExit();
}

void OrvikPatcherApp::OnUnhandledException() {
    ZephUtil::WriteToolkitDump("Unhandled Exception");
    wxMessageBox("Unhandled Exception", "Fatal Error", wxOK | wxICON_ERROR);
    std::_Exit(-1);
}

}  // namespace ZephPatch
