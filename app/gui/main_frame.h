// `MainFrame`: the window's progress side. It shows the session's message log, gauge and
// status line, carries "Apply Update" and "Cancel"/"Exit", starts the patch worker, receives
// its events and asks before a running session is cancelled. All its handlers run on the GUI
// thread; the worker reaches it only through the SessionFrontEnd calls, which queue.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "app/core/apply_progress.h"
#include "app/gui/gui_bridge.h"
#include "package/embedded_patch_container.h"
#include "session/patch_settings.h"
#include "session/patch_thread.h"
#include "session/session_front_end.h"

namespace ZephPatch {

class MainFrame : public wxFrame, public SessionFrontEnd {
public:
    // `settings`, `container` and `database` are the program's; the worker uses them.
    MainFrame(PatchSettings& settings, EmbeddedPatchContainer& container,
              AssetDatabaseAttachment& database, const wxString& title, const wxSize& size,
              long style);
    // Stops and joins a worker that still runs (the close handler normally waits for it).
    ~MainFrame() override;

    // Level 0 lines are shown only in debug mode.
    void SetDebugMode(bool debug) { m_debugMode = debug; }
    [[nodiscard]] bool DebugMode() const { return m_debugMode; }

    // `StartSession`: creates the worker and runs its thread. False when either failed.
    [[nodiscard]] bool StartSession();
    // A session runs (from StartSession until SessionFinished or a confirmed cancel).
    [[nodiscard]] bool IsRunning() const { return m_running; }
    // How many patches the running or last session installed.
    [[nodiscard]] int PatchesInstalled() const { return m_patchesInstalled; }

    // "Apply Update" and whatever follows it (the installation choice) together.
    virtual void EnableApplyUpdateControls(bool enable);
    // Appends one line to the log as the worker's MessageLine events do. GUI thread only.
    void AppendLine(ReportLevel level, const wxString& text);

    [[nodiscard]] wxTextCtrl* Log() const { return m_log; }
    [[nodiscard]] wxGauge* Gauge() const { return m_gauge; }
    [[nodiscard]] wxStaticText* StatusLine() const { return m_statusLine; }
    [[nodiscard]] wxButton* ApplyButton() const { return m_applyButton; }
    [[nodiscard]] wxButton* CancelButton() const { return m_cancelButton; }

    // SessionFrontEnd: called from the worker and its progress threads; each queues its work
    // for the GUI thread, in order. The three questions wait for the user's answer.
    void SetGaugeRange(int range) override;
    void SetGaugeValue(int value) override;
    void Report(ReportLevel level, const std::string& utf8) override;
    [[nodiscard]] bool ShouldContinue() override { return !m_cancelled; }
    [[nodiscard]] bool AskYesNo(const std::string& question, const std::string& caption) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    [[nodiscard]] bool ChooseFile(const std::string& title, const std::string& filter,
                                  std::string* file) override;
    void EnableApplyUpdate() override;
    void ShowInstallPath(const std::string& path) override;
    void PatchInstalled() override;
    void SessionFinished() override;
    // The applier's count, from the worker: the total of the patch being applied, and one
    // entry begun. The second half of the gauge follows them.
    void StartApplying(int total) override;
    void EntryBegun() override;

    // The open-file dialog on the GUI thread; false when the user cancels.
    [[nodiscard]] bool ChooseFileNow(const std::string& title, const std::string& filter,
                                     std::string* file);

protected:
    // Creates the log, gauge, status line and buttons on `panel` and adds them to `sizer`,
    // then starts the timer. Called once by the derived window's constructor.
    void CreateProgressControls(wxPanel* panel, wxSizer* sizer);
    // Shows `path` as the installation being patched (nothing here; the derived window has
    // the path line).
    virtual void ShowInstallPathNow(const wxString& path);
    void ClearLog();

    PatchSettings& m_settings;
    EmbeddedPatchContainer& m_container;

private:
    void OnApplyUpdate(wxCommandEvent& event);
    void OnCancelButton(wxCommandEvent& event);
    void OnSessionFinished(wxCommandEvent& event);
    void OnMessageLine(wxCommandEvent& event);
    void OnPatchInstalled(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnTimer(wxTimerEvent& event);

    [[nodiscard]] bool ConfirmCancel();
    // The user confirmed: the worker is told through ShouldContinue, "Cancelling" is reported.
    void CancelConfirmed();
    void ShowDownloadProgress();
    void ShowGaugeValue(int value);
    void JoinWorker();

    GuiBridge m_bridge;
    bool m_debugMode = false;
    bool m_running = false;
    int m_patchesInstalled = 0;
    bool m_firstLine = true;
    // Set on the GUI thread, read by the worker through ShouldContinue.
    std::atomic<bool> m_cancelled{false};
    bool m_statusDone = false;
    // The last session ended with "Patching completed.": its full gauge stays.
    bool m_sessionCompleted = false;
    // GUI thread only, as the gauge.
    ApplyProgress m_apply;
    // The program's attachment, handed to each worker.
    AssetDatabaseAttachment& m_database;
    std::unique_ptr<PatchThread> m_worker;

    wxTextCtrl* m_log = nullptr;
    wxGauge* m_gauge = nullptr;
    wxStaticText* m_statusLine = nullptr;
    wxButton* m_applyButton = nullptr;
    wxButton* m_cancelButton = nullptr;
    wxTimer m_timer;

    wxDECLARE_EVENT_TABLE();
};

}  // namespace ZephPatch
