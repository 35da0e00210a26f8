#include "app/gui/main_frame.h"

#include <algorithm>
#include <optional>

#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>

#include "app/gui/frame_ids.h"
#include "app/gui/gauge_height.h"
#include "app/gui/log_colours.h"
#include "app/gui/toolkit_looks.h"
#include "kernel/crash/crash.h"
#include "kernel/messages/message_catalogue.h"
#include "session/download_progress.h"

namespace ZephPatch {
namespace {

constexpr int kTimerMilliseconds = 500;
constexpr int kBorder = 6;
const wxSize kButtonSize(120, 28);
constexpr int kGaugeHeight = 25;
constexpr int kStatusHeight = 20;
const wxSize kLogSize(50, 250);
constexpr int kDownloadRange = 100;

wxString FromUtf8(const std::string& text) {
    return wxString::FromUTF8(text.data(), text.size());
}

}  // namespace

// clang-format off
wxBEGIN_EVENT_TABLE(MainFrame, wxFrame)
    EVT_BUTTON(ID_APPLY_UPDATE, MainFrame::OnApplyUpdate)
    EVT_BUTTON(ID_CANCEL, MainFrame::OnCancelButton)
    EVT_MENU(ID_SESSION_FINISHED, MainFrame::OnSessionFinished)
    EVT_MENU(ID_MESSAGE_LINE, MainFrame::OnMessageLine)
    EVT_MENU(ID_PATCH_INSTALLED, MainFrame::OnPatchInstalled)
    EVT_CLOSE(MainFrame::OnClose)
    EVT_TIMER(wxID_ANY, MainFrame::OnTimer)
wxEND_EVENT_TABLE();
// clang-format on

MainFrame::MainFrame(PatchSettings& settings, EmbeddedPatchContainer& container,
                     AssetDatabaseAttachment& database, const wxString& title, const wxSize& size,
                     long style)
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition, size, style),
      m_settings(settings),
      m_container(container),
      m_bridge(*this),
      m_database(database),
      m_timer(this) {}

MainFrame::~MainFrame() {
    m_timer.Stop();
    m_bridge.Close();
    if (m_worker) {
        m_cancelled = true;
        m_worker->StopRunning();
        JoinWorker();
    }
}

void MainFrame::CreateProgressControls(wxPanel* panel, wxSizer* sizer) {
    m_log = new wxTextCtrl(panel, wxID_ANY, wxEmptyString, wxDefaultPosition, kLogSize,
                           wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2);
    HideCaret(m_log);
    sizer->Add(m_log, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kBorder);
    m_gauge = new wxGauge(panel, wxID_ANY, kDownloadRange, wxDefaultPosition,
                          wxSize(-1, kGaugeHeight), wxGA_HORIZONTAL);
    SetGaugeHeight(m_gauge, kGaugeHeight);
    sizer->Add(m_gauge, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kBorder);
    m_statusLine =
        new wxStaticText(panel, wxID_ANY, wxEmptyString, wxDefaultPosition,
                         wxSize(-1, kStatusHeight), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    sizer->Add(m_statusLine, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kBorder);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->AddStretchSpacer();
    m_applyButton =
        new wxButton(panel, ID_APPLY_UPDATE, MSG_APPLY_UPDATE, wxDefaultPosition, kButtonSize);
    buttons->Add(m_applyButton, 0, wxRIGHT, kBorder);
    m_cancelButton = new wxButton(panel, ID_CANCEL, MSG_CANCEL, wxDefaultPosition, kButtonSize);
    buttons->Add(m_cancelButton, 0);
    sizer->Add(buttons, 0, wxEXPAND | wxALL, kBorder);
    m_timer.Start(kTimerMilliseconds);
}

bool MainFrame::StartSession() {
    if (m_worker)
        return false;
    auto worker = std::make_unique<PatchThread>(*this, m_settings, m_container, m_database);
    if (!worker->Start())
        return false;
    m_worker = std::move(worker);
    m_running = true;
    m_statusDone = false;
    m_sessionCompleted = false;
    // A retry after a failed session: the button cancels again until this one ends.
    m_cancelButton->SetLabel(MSG_CANCEL);
    m_cancelButton->Enable();
    EnableApplyUpdateControls(false);
    m_log->Refresh();
    return true;
}

void MainFrame::EnableApplyUpdateControls(bool enable) {
    m_applyButton->Enable(enable);
}

void MainFrame::AppendLine(ReportLevel level, const wxString& text) {
    if (!m_log || (level == ReportLevel::kDetail && !m_debugMode))
        return;
    // Lines end where the next one starts: a text's own line end (catalogue texts and child
    // output carry one) would show as a stray empty line, and so would the lone line end of
    // child output that reached us in two pieces.
    wxString line = text;
    while (line.EndsWith("\n") || line.EndsWith("\r"))
        line.RemoveLast();
    if (line.empty() && !text.empty())
        return;
    m_log->SetDefaultStyle(wxTextAttr(LevelColour(level)));
    if (!m_firstLine)
        m_log->AppendText("\n");
    m_firstLine = false;
    m_log->AppendText(line);
    m_log->Refresh();
}

void MainFrame::ClearLog() {
    m_log->Clear();
    m_firstLine = true;
}

void MainFrame::ShowInstallPathNow(const wxString&) {}

// --- calls from the worker ---

void MainFrame::SetGaugeRange(int range) {
    m_bridge.Post([this, range] {
        m_apply.SetRange(range);
        m_gauge->SetRange(range);
    });
}

void MainFrame::SetGaugeValue(int value) {
    m_bridge.Post([this, value] {
        // Once the applier counts its entries, the time-based guess has nothing to add.
        if (!m_apply.Counting())
            ShowGaugeValue(value);
    });
}

void MainFrame::StartApplying(int total) {
    m_bridge.Post([this, total] {
        m_apply.Start(total);
        if (m_gauge->GetRange() != m_apply.Range())
            m_gauge->SetRange(m_apply.Range());
        ShowGaugeValue(m_apply.Range() / 2);
    });
}

void MainFrame::EntryBegun() {
    m_bridge.Post([this] { ShowGaugeValue(m_apply.Step()); });
}

void MainFrame::ShowGaugeValue(int value) {
    // The toolkit refuses a value outside the range, and ranges change between patches.
    m_gauge->SetValue(std::clamp(value, 0, m_gauge->GetRange()));
}

void MainFrame::Report(ReportLevel level, const std::string& utf8) {
    auto* event = new wxCommandEvent(wxEVT_MENU, ID_MESSAGE_LINE);
    event->SetInt(static_cast<int>(level));
    event->SetString(FromUtf8(utf8));
    m_bridge.Queue(event);
}

bool MainFrame::AskYesNo(const std::string& question, const std::string& caption) {
    return m_bridge.Ask<bool>(
        [this, question, caption] {
            return wxMessageBox(FromUtf8(question), FromUtf8(caption), wxYES_NO | wxICON_QUESTION,
                                this) == wxYES;
        },
        false);
}

void MainFrame::ShowMessageBox(const std::string& text, const std::string& caption) {
    // Only waits until the box is closed.
    (void)m_bridge.Ask<bool>(
        [this, text, caption] {
            wxMessageBox(FromUtf8(text), FromUtf8(caption), wxOK, this);
            return true;
        },
        false);
}

bool MainFrame::ChooseFile(const std::string& title, const std::string& filter, std::string* file) {
    const std::optional<std::string> chosen = m_bridge.Ask<std::optional<std::string>>(
        [this, title, filter]() -> std::optional<std::string> {
            std::string path;
            if (!ChooseFileNow(title, filter, &path))
                return std::nullopt;
            return path;
        },
        std::nullopt);
    if (!chosen)
        return false;
    *file = *chosen;
    return true;
}

bool MainFrame::ChooseFileNow(const std::string& title, const std::string& filter,
                              std::string* file) {
    wxFileDialog dialog(this, FromUtf8(title), wxEmptyString, wxEmptyString,
                        FromUtf8(filter + "|" + filter), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return false;
    *file = dialog.GetPath().utf8_string();
    return true;
}

void MainFrame::EnableApplyUpdate() {
    m_bridge.Post([this] { EnableApplyUpdateControls(true); });
}

void MainFrame::ShowInstallPath(const std::string& path) {
    m_bridge.Post([this, path] { ShowInstallPathNow(FromUtf8(path)); });
}

void MainFrame::PatchInstalled() {
    m_bridge.Queue(new wxCommandEvent(wxEVT_MENU, ID_PATCH_INSTALLED));
}

void MainFrame::SessionFinished() {
    m_bridge.Queue(new wxCommandEvent(wxEVT_MENU, ID_SESSION_FINISHED));
}

// --- event handlers ---

void MainFrame::OnApplyUpdate(wxCommandEvent&) {
    (void)StartSession();  // false only while a session runs already
}

void MainFrame::OnCancelButton(wxCommandEvent&) {
    Close(true);
}

void MainFrame::OnSessionFinished(wxCommandEvent&) {
    m_running = false;
    m_statusLine->SetLabel(wxEmptyString);
    m_cancelButton->SetLabel(MSG_EXIT);
    m_cancelButton->Enable();
    m_sessionCompleted = m_worker && m_worker->Completed();
    // The worker's last call: its thread is ending.
    JoinWorker();
}

void MainFrame::OnMessageLine(wxCommandEvent& event) {
    AppendLine(static_cast<ReportLevel>(event.GetInt()), event.GetString());
}

void MainFrame::OnPatchInstalled(wxCommandEvent&) {
    ++m_patchesInstalled;
    // The next patch of a chain is downloaded anew: its progress is shown again.
    m_statusDone = false;
}

void MainFrame::OnClose(wxCloseEvent& event) {
    if (!m_worker) {
        Destroy();
        return;
    }
    // The session may end while the question is open: then its result stays on show, with
    // "Exit" to close.
    if (!m_cancelled && ConfirmCancel() && m_worker && !m_cancelled)
        CancelConfirmed();
    // A cancelled worker ends by itself; the timer then closes the window.
    if (event.CanVeto())
        event.Veto();
}

void MainFrame::CancelConfirmed() {
    m_running = false;
    m_cancelButton->Disable();
    m_cancelled = true;
    AppendLine(ReportLevel::kError, MSG_CANCELLING);
}

bool MainFrame::ConfirmCancel() {
    const char* question = m_patchesInstalled > 0 ? MSG_CANCEL_AFTER_PATCHES : MSG_CONFIRM_CANCEL;
    wxMessageDialog dialog(this, question, GetTitle(),
                           wxYES_NO | wxNO_DEFAULT | wxICON_EXCLAMATION);
    return dialog.ShowModal() == wxID_YES;
}

void MainFrame::OnTimer(wxTimerEvent&) {
    // SIGINT, SIGTERM or SIGHUP: nobody at the terminal to ask, the request is the answer.
    if (!m_cancelled && ZephUtil::ConsoleCloseRequested())
        CancelConfirmed();
    if (m_cancelled && !m_worker) {
        m_timer.Stop();
        Close(true);
        return;
    }
    if (m_running && m_worker && !m_statusDone)
        ShowDownloadProgress();
    if (!m_running && !m_sessionCompleted)
        m_gauge->SetValue(0);
}

void MainFrame::ShowDownloadProgress() {
    DownloadProgress progress;
    if (!m_worker->QueryDownloadProgress(&progress)) {
        // A download that ended between two ticks leaves no stale figures behind.
        if (!m_statusLine->GetLabel().empty())
            m_statusLine->SetLabel(wxEmptyString);
        return;
    }
    if (m_gauge->GetRange() != kDownloadRange)
        m_gauge->SetRange(kDownloadRange);
    m_gauge->SetValue(std::clamp(progress.percent, 0, kDownloadRange));
    if (progress.percent >= kDownloadRange) {
        m_statusLine->SetLabel(wxEmptyString);
        m_statusDone = true;
        return;
    }
    m_statusLine->SetLabel(FromUtf8(RemainingTimeText(progress)));
}

void MainFrame::JoinWorker() {
    m_worker->Join();
    m_worker.reset();
}

}  // namespace ZephPatch
