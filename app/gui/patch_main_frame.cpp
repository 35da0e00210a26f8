#include "app/gui/patch_main_frame.h"

#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include "app/core/product_install_path.h"
#include "app/gui/frame_ids.h"
#include "app/gui/release_notes.h"
#include "app/gui/toolkit_looks.h"
#include "app/gui/zeph_icon.h"
#include "kernel/messages/message_catalogue.h"
#include "session/patch_settings.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

constexpr char kTitle[] = "Orvik Patcher";
constexpr char kWindowClass[] = "InstallPatchGUI";
const wxSize kInitialSize(900, 800);
// Caption with system menu and close box; no resize border, no minimise or maximise box.
constexpr long kStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;
constexpr int kBorder = 6;
constexpr int kMsgPatchingInstall = 171;
constexpr int kMsgRepairingInstall = 172;
constexpr int kMsgRepair = 173;
constexpr char kAboutBlank[] = "about:blank";
constexpr char kSeparator[] = "-------------------------";

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

}  // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(PatchMainFrame, MainFrame)
    EVT_BUTTON(ID_CHOOSE_INSTALLATION, PatchMainFrame::OnChooseInstallation)
    EVT_WEBVIEW_NAVIGATING(ID_RELEASE_NOTES, PatchMainFrame::OnNavigating)
    EVT_WEBVIEW_LOADED(ID_RELEASE_NOTES, PatchMainFrame::OnPageLoaded)
    EVT_WEBVIEW_ERROR(ID_RELEASE_NOTES, PatchMainFrame::OnPageError)
wxEND_EVENT_TABLE();
// clang-format on

PatchMainFrame::PatchMainFrame(PatchSettings& settings, EmbeddedPatchContainer& container,
                               AssetDatabaseAttachment& database, const std::string& executablePath)
    : MainFrame(settings, container, database, kTitle, kInitialSize, kStyle),
      m_executablePath(executablePath) {
    const bool repairMode = settings.repairMode;
    m_panel = new wxPanel(this);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    CreateReleaseNotes(m_panel, sizer);
    CreateInstallationLine(m_panel, sizer, repairMode);
    CreateProgressControls(m_panel, sizer);
    m_panel->SetSizer(sizer);

    m_pathLine->SetValue(FromUtf8(settings.installPath));
    m_pathLine->Disable();
    // The embedded patch check enables it when the program carries patches.
    m_chooseButton->Disable();
    if (m_webView)
        m_webView->Hide();
    SetIcons(ZephIcon());
    SetWindowClass(this, kWindowClass);
    ApplyButton()->Enable();
    if (repairMode)
        ApplyButton()->SetLabel(FromUtf8(LoadMessage(kMsgRepair)));
    m_panel->Layout();
}

PatchMainFrame::~PatchMainFrame() {
    if (m_webView)
        m_webView->LoadURL(kAboutBlank);
}

void PatchMainFrame::CreateReleaseNotes(wxPanel* panel, wxSizer* sizer) {
    // Without a web engine the window does without the release notes.
    m_webView = wxWebView::New(panel, ID_RELEASE_NOTES, FromUtf8(ReleaseNotesAddress()));
    if (m_webView)
        sizer->Add(m_webView, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kBorder);
}

void PatchMainFrame::CreateInstallationLine(wxPanel* panel, wxSizer* sizer, bool repairMode) {
    auto* line = new wxBoxSizer(wxHORIZONTAL);
    const int labelId = repairMode ? kMsgRepairingInstall : kMsgPatchingInstall;
    line->Add(new wxStaticText(panel, wxID_ANY, FromUtf8(LoadMessage(labelId))), 0,
              wxALIGN_CENTER_VERTICAL | wxRIGHT, kBorder);
    m_pathLine = new wxTextCtrl(panel, wxID_ANY, wxEmptyString);
    line->Add(m_pathLine, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, kBorder);
    m_chooseButton = new wxButton(panel, ID_CHOOSE_INSTALLATION, "...", wxDefaultPosition,
                                  wxDefaultSize, wxBU_EXACTFIT);
    line->Add(m_chooseButton, 0, wxALIGN_CENTER_VERTICAL);
    sizer->Add(line, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kBorder);
}

void PatchMainFrame::EnableApplyUpdateControls(bool enable) {
    MainFrame::EnableApplyUpdateControls(enable);
    m_chooseButton->Enable(enable);
}

EmbeddedCheckHost PatchMainFrame::MakeCheckHost() {
    EmbeddedCheckHost host(m_checkLines);
    host.chooseFile = [this](const std::string& title, const std::string& filter,
                             std::string* file) { return ChooseFileNow(title, filter, file); };
    host.enableChooseInstallation = [this] { m_chooseButton->Enable(); };
    host.enableApplyUpdate = [this] { ApplyButton()->Enable(); };
    host.findInstallPath = [] { return FindProductInstallPath(PRODUCT_KEY, PRODUCT_CLASS); };
    host.showMessageBox = [this](const std::string& text, const std::string& caption) {
        wxMessageBox(FromUtf8(text), FromUtf8(caption), wxOK, this);
    };
    return host;
}

void PatchMainFrame::ShowInstallPathNow(const wxString& path) {
    m_pathLine->SetValue(path);
}

void PatchMainFrame::OnChooseInstallation(wxCommandEvent&) {
    if (IsRunning())
        return;
    if (!DebugMode()) {
        ClearLog();
    } else {
        AppendLine(ReportLevel::kDetail, wxEmptyString);
        AppendLine(ReportLevel::kDetail, kSeparator);
        AppendLine(ReportLevel::kDetail, wxEmptyString);
    }
    // Patches for the previous installation say nothing about the new one.
    ApplyButton()->Disable();
    // What it found has been shown through the host.
    (void)CheckEmbeddedPatches(m_container, m_settings, m_executablePath, true, MakeCheckHost());
    ShowInstallPathNow(FromUtf8(m_settings.installPath));
}

void PatchMainFrame::OnNavigating(wxWebViewEvent& event) {
    const std::string address = event.GetURL().utf8_string();
    if (!OpensInBrowser(address, m_linkGuard))
        return;
    event.Veto();
    wxLaunchDefaultBrowser(event.GetURL());
}

void PatchMainFrame::OnPageError(wxWebViewEvent&) {
    m_pageFailed = true;
}

void PatchMainFrame::OnPageLoaded(wxWebViewEvent& event) {
    // An error page stays hidden; the blank page on the way out is not the release notes.
    if (m_linkGuard || m_pageFailed || event.GetURL() == kAboutBlank)
        return;
    m_webView->Show();
    m_panel->Layout();
    m_linkGuard = true;
}

}  // namespace ZephPatch
