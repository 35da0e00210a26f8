// The console's side of a patch run: message lines on standard output (errors also on standard
// error), message boxes as text, the gauge as a one-line progress bar on a terminal, and the
// user's cancel from the first Ctrl+C.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "app/core/shell_state.h"
#include "session/download_progress.h"
#include "session/embedded_patch_check.h"
#include "session/session_front_end.h"

namespace ZephPatch {

class ConsoleFrontEnd : public SessionFrontEnd {
public:
    ConsoleFrontEnd();

    // Level 0 lines are shown only in debug mode.
    void SetDebugMode(bool debug) { m_debug = debug; }
    // From now on IsCancelled answers true; the first call says "Cancelling patch process...".
    void Cancel();

    // Puts the download in progress on the progress line with its remaining time; null once no
    // download runs any more, which takes the text off again.
    void ShowDownloadProgress(const DownloadProgress* progress);

    // The hooks the start-up and the embedded patch check report through.
    ShellHooks MakeShellHooks();
    EmbeddedCheckHost MakeCheckHost();

    void SetGaugeRange(int range) override;
    void SetGaugeValue(int value) override;
    void Report(int level, const std::string& utf8) override;
    // Also true (and cancelling) as soon as a console close request arrived, before the main
    // thread sees it.
    bool IsCancelled() override;
    bool AskYesNo(const std::string& question, const std::string& caption) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    bool ChooseFile(const std::string& title, const std::string& filter,
                    std::string* file) override;
    void EnableApplyUpdate() override {}
    void ShowInstallPath(const std::string& path) override;
    void PatchInstalled() override { m_patchInstalled = true; }
    void SessionFinished() override;

private:
    // REQUIRES: m_mutex held.
    void ClearBar();
    void DrawBar();
    void DropStatus();
    void WriteLine(int level, const std::string& text);
    std::string AskLine(const std::string& prompt);

    std::mutex m_mutex;
    const bool m_terminal;
    bool m_debug = false;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_patchInstalled{false};
    int m_range = 0;
    int m_value = 0;
    int m_shownPercent = -1;
    // Shown after the bar while a download runs.
    std::string m_status;
    std::string m_shownStatus;
    // The download's size is unknown: the line shows the text alone.
    bool m_statusOnly = false;
    bool m_barShown = false;
};

}  // namespace ZephPatch
