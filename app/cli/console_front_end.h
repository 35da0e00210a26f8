// The console's side of a patch run: message lines (level 0 only in debug mode; every line in
// the session log), message boxes as text, questions on the terminal, and one progress line
// with a bar: the download with its rate and time left, or the patch being applied with its
// files done and time left. The user's cancel comes from the first Ctrl+C.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "app/cli/console_output.h"
#include "app/core/apply_progress.h"
#include "app/core/shell_state.h"
#include "session/download_progress.h"
#include "session/embedded_patch_check.h"
#include "session/session_front_end.h"

namespace ZephPatch {

class ConsoleFrontEnd : public SessionFrontEnd {
public:
    explicit ConsoleFrontEnd(ConsoleOutput& output) : m_output(output) {}

    void SetDebugMode(bool debug) { m_debug = debug; }
    // From now on ShouldContinue answers false; the first call says "Cancelling patch
    // process...".
    void Cancel();

    // Puts the download in progress on the progress line; null once no download runs any
    // more, which takes it off again.
    void ShowDownloadProgress(const DownloadProgress* progress);
    // The build the installation is at when the check found it at the end of the patches'
    // chain; empty otherwise.
    [[nodiscard]] const std::string& UpToDateBuild() const { return m_upToDateBuild; }

    // The hooks the start-up and the embedded patch check report through.
    [[nodiscard]] ShellHooks MakeShellHooks();
    [[nodiscard]] EmbeddedCheckHost MakeCheckHost();

    void SetGaugeRange(int range) override;
    void SetGaugeValue(int value) override;
    // The applier's count: the total of the patch being applied, and one entry begun.
    void StartApplying(int total) override;
    void EntryBegun() override;
    void Report(ReportLevel level, const std::string& utf8) override;
    // Also false (and cancelling) as soon as a console close request arrived, before the main
    // thread sees it.
    [[nodiscard]] bool ShouldContinue() override;
    [[nodiscard]] bool AskYesNo(const std::string& question, const std::string& caption) override;
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    [[nodiscard]] bool ChooseFile(const std::string& title, const std::string& filter,
                                  std::string* file) override;
    void EnableApplyUpdate() override {}
    void ShowInstallPath(const std::string& path) override;
    void PatchInstalled() override {}
    void SessionFinished() override;

private:
    // REQUIRES: m_mutex held.
    void Redraw();
    [[nodiscard]] std::string ProgressLine() const;
    [[nodiscard]] std::string AskLine(const std::string& prompt);

    ConsoleOutput& m_output;
    std::mutex m_mutex;
    bool m_debug = false;
    std::atomic<bool> m_cancelled{false};
    ApplyProgress m_apply;
    int m_value = 0;
    // While a download runs: its share done (-1 when its size is unknown) and its figures.
    bool m_downloading = false;
    int m_downloadPercent = 0;
    std::string m_downloadText;
    std::string m_upToDateBuild;
};

}  // namespace ZephPatch
