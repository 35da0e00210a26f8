// `PatchMainFrame`: the installer's one window. Adds to the progress side the release-notes
// page, the installation being patched and the button that picks another installation.
#pragma once

#include <string>

#include <wx/webview.h>

#include "app/gui/main_frame.h"
#include "session/embedded_patch_check.h"

namespace ZephPatch {

class PatchMainFrame : public MainFrame {
public:
    // `executablePath`: the program carrying the embedded patches, checked again when the
    // user picks another installation. In repair mode the labels say "Repair".
    PatchMainFrame(PatchSettings& settings, EmbeddedPatchContainer& container,
                   AssetDatabaseAttachment& database, const std::string& executablePath);
    // Sends the page to "about:blank" before it goes away.
    ~PatchMainFrame() override;

    void EnableApplyUpdateControls(bool enable) override;
    // What the embedded patch check needs of the window (GUI thread).
    [[nodiscard]] EmbeddedCheckHost MakeCheckHost();

    // Null when the toolkit has no web engine.
    [[nodiscard]] wxWebView* ReleaseNotes() const { return m_webView; }
    [[nodiscard]] wxTextCtrl* PathLine() const { return m_pathLine; }
    [[nodiscard]] wxButton* ChooseButton() const { return m_chooseButton; }
    [[nodiscard]] bool LinkGuard() const { return m_linkGuard; }

protected:
    void ShowInstallPathNow(const wxString& path) override;

private:
    // The check runs on the GUI thread: its lines go straight to the log, not through the
    // worker's queue.
    class CheckLines : public Reporter {
    public:
        explicit CheckLines(PatchMainFrame& frame) : m_frame(frame) {}
        void Report(ReportLevel level, const std::string& utf8) override {
            m_frame.AppendLine(level, wxString::FromUTF8(utf8.data(), utf8.size()));
        }
        [[nodiscard]] bool ShouldContinue() override { return true; }

    private:
        PatchMainFrame& m_frame;
    };

    void CreateReleaseNotes(wxPanel* panel, wxSizer* sizer);
    void CreateInstallationLine(wxPanel* panel, wxSizer* sizer, bool repairMode);

    void OnChooseInstallation(wxCommandEvent& event);
    void OnNavigating(wxWebViewEvent& event);
    void OnPageLoaded(wxWebViewEvent& event);
    void OnPageError(wxWebViewEvent& event);

    const std::string m_executablePath;
    wxPanel* m_panel = nullptr;
    wxWebView* m_webView = nullptr;
    wxTextCtrl* m_pathLine = nullptr;
    wxButton* m_chooseButton = nullptr;
    // Set once the first page has loaded: from then on links open in the system's browser.
    bool m_linkGuard = false;
    // The release notes could not be loaded: the page stays hidden.
    bool m_pageFailed = false;
    CheckLines m_checkLines{*this};

    wxDECLARE_EVENT_TABLE();
};

}  // namespace ZephPatch
