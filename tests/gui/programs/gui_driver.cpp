// The installer's application object and window, played by a script instead of a user. The
// script (ORVIK_GUI_SCRIPT) waits for what a user would wait for, then clicks, presses keys or
// closes the window through the X server (XTest), and prints what it saw as "@@ key value"
// lines on standard output; screenshots go to ORVIK_GUI_SHOTS. A step that waits too long
// ends the process with exit code 3.
#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <wx/app.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include "app/gui/orvik_patcher_app.h"

namespace {

using ZephPatch::PatchMainFrame;

constexpr int kTickMilliseconds = 100;
constexpr int kStepTimeoutTicks = 600;

void Say(const std::string& key, const std::string& value) {
    std::printf("@@ %s %s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

std::string Utf8(const wxString& text) {
    return text.utf8_string();
}

// The message dialog on screen, if any.
GtkWidget* ShownMessageDialog() {
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* found = nullptr;
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* widget = GTK_WIDGET(item->data);
        if (GTK_IS_MESSAGE_DIALOG(widget) && gtk_widget_get_mapped(widget))
            found = widget;
    }
    g_list_free(windows);
    return found;
}

std::string DialogText(GtkWidget* dialog) {
    gchar* text = nullptr;
    g_object_get(dialog, "text", &text, nullptr);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

// Centre of a GTK widget on the screen.
wxPoint ScreenCentre(GtkWidget* widget) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    int x = 0;
    int y = 0;
    gtk_widget_translate_coordinates(widget, toplevel, 0, 0, &x, &y);
    int originX = 0;
    int originY = 0;
    gdk_window_get_origin(gtk_widget_get_window(toplevel), &originX, &originY);
    GtkAllocation allocation;
    gtk_widget_get_allocation(widget, &allocation);
    return wxPoint(originX + x + allocation.width / 2, originY + y + allocation.height / 2);
}

wxPoint ScreenCentre(wxWindow* window) {
    const wxRect rect = window->GetScreenRect();
    return wxPoint(rect.x + rect.width / 2, rect.y + rect.height / 2);
}

// The class part of the window's WM_CLASS, as the X server has it.
std::string WindowClassOf(wxWindow* window) {
    GdkWindow* gdkWindow = gtk_widget_get_window(window->GetHandle());
    XClassHint hint{};
    if (!XGetClassHint(GDK_WINDOW_XDISPLAY(gdkWindow), GDK_WINDOW_XID(gdkWindow), &hint))
        return "-";
    const std::string name = hint.res_class ? hint.res_class : "-";
    XFree(hint.res_name);
    XFree(hint.res_class);
    return name;
}

struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
};

class Script : public wxTimer {
public:
    Script(PatchMainFrame* frame, std::string shots) : m_frame(frame), m_shots(std::move(shots)) {}

    void Add(std::string what, std::function<bool()> ready, std::function<void()> act) {
        m_steps.push_back({std::move(what), std::move(ready), std::move(act)});
    }
    void Run() { Start(kTickMilliseconds); }

    void Notify() override {
        if (m_next >= m_steps.size() || m_busy)
            return;
        Step& step = m_steps[m_next];
        if (!step.ready()) {
            if (++m_waited > kStepTimeoutTicks) {
                Say("timeout", step.what);
                DumpLog();  // what the user saw when it got stuck
                std::_Exit(3);
            }
            return;
        }
        m_waited = 0;
        ++m_next;
        Say("step", step.what);
        // An action may open a modal dialog; ticks inside it must not start the next step
        // before this one has returned.
        m_busy = true;
        step.act();
        m_busy = false;
    }

    // The whole screen as the X server shows it.
    void Screenshot(const std::string& name) {
        m_frame->Update();
        const std::string path = m_shots + "/" + name + ".png";
        const std::string command = "/usr/bin/import -window root '" + path + "'";
        Say("screenshot", std::system(command.c_str()) == 0 ? path : "failed " + path);
    }

    void Click(const wxPoint& point) {
        wxUIActionSimulator input;
        input.MouseMove(point);
        input.MouseClick();
    }

    // Every log line with its colour: "r,g,b text".
    void DumpLog() {
        wxTextCtrl* log = m_frame->Log();
        for (int line = 0; line < log->GetNumberOfLines(); ++line) {
            wxTextAttr style;
            const long position = log->XYToPosition(0, line);
            std::string colour = "-";
            if (log->GetLineLength(line) > 0 && log->GetStyle(position, style) &&
                style.HasTextColour()) {
                const wxColour c = style.GetTextColour();
                colour = std::to_string(c.Red()) + "," + std::to_string(c.Green()) + "," +
                         std::to_string(c.Blue());
            }
            Say("line", colour + " " + Utf8(log->GetLineText(line)));
        }
    }

    bool LogHas(const std::string& text) {
        return Utf8(m_frame->Log()->GetValue()).find(text) != std::string::npos;
    }

    PatchMainFrame* Frame() { return m_frame; }

private:
    PatchMainFrame* m_frame;
    std::string m_shots;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    int m_waited = 0;
    bool m_busy = false;
};

void DescribeWindow(Script& script) {
    PatchMainFrame* frame = script.Frame();
    Say("title", "[" + Utf8(frame->GetTitle()) + "]");
    const wxSize size = frame->GetSize();
    Say("size", std::to_string(size.x) + "x" + std::to_string(size.y));
    Say("apply", Utf8(frame->ApplyButton()->GetLabel()));
    Say("cancel", Utf8(frame->CancelButton()->GetLabel()));
    Say("install-label", Utf8(frame->PathLine()->GetPrevSibling()->GetLabel()));
    Say("path", Utf8(frame->PathLine()->GetValue()));
    Say("web-shown", frame->ReleaseNotes()->IsShown() ? "1" : "0");
    Say("choose-enabled", frame->ChooseButton()->IsEnabled() ? "1" : "0");
    GtkWidget* log = gtk_bin_get_child(GTK_BIN(frame->Log()->GetHandle()));
    Say("caret", gtk_text_view_get_cursor_visible(GTK_TEXT_VIEW(log)) ? "1" : "0");
    Say("window-class", WindowClassOf(frame));
    Say("icon-sizes", std::to_string(frame->GetIcons().GetIconCount()));
}

bool WindowReady(Script& script) {
    PatchMainFrame* frame = script.Frame();
    return frame->IsShownOnScreen() && frame->ApplyButton()->IsEnabled();
}

bool PageShown(Script& script) {
    return script.Frame()->ReleaseNotes()->IsShownOnScreen();
}

// The close box: the same request a window manager sends.
void CloseBox(Script& script) {
    gtk_window_close(GTK_WINDOW(script.Frame()->GetHandle()));
}

// Presses the dialog's default button with the keyboard.
// With no window manager the keyboard follows the pointer.
void PressReturnIn(GtkWidget* dialog) {
    wxUIActionSimulator input;
    input.MouseMove(ScreenCentre(dialog));
    input.Char(WXK_RETURN);
}

void AnswerQuestion(Script& script, const std::string& shot, bool yes) {
    GtkWidget* dialog = ShownMessageDialog();
    Say("question", DialogText(dialog));
    Say("question-caption", "[" + std::string(gtk_window_get_title(GTK_WINDOW(dialog))) + "]");
    script.Screenshot(shot);
    if (yes)
        script.Click(
            ScreenCentre(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_YES)));
    else
        PressReturnIn(dialog);
}

// Ready once the script's timer has ticked `ticks` times since the step began.
std::function<bool()> AfterTicks(int ticks) {
    return [ticks, count = 0]() mutable { return ++count > ticks; };
}

// "Apply Update", the typical run to its end, then "Exit".
void StandaloneScript(Script& script) {
    PatchMainFrame* frame = script.Frame();
    script.Add(
        "idle", [&] { return WindowReady(script) && PageShown(script); },
        [&] {
            DescribeWindow(script);
            script.Screenshot("idle");
        });
    script.Add(
        "apply", [] { return true; },
        [&, frame] { script.Click(ScreenCentre(frame->ApplyButton())); });
    script.Add(
        "running",
        [&, frame] {
            return script.LogHas("Patching from 46957 to 48249") && frame->Gauge()->GetValue() > 0;
        },
        [&] { script.Screenshot("running"); });
    script.Add(
        "finished", [frame] { return frame->CancelButton()->GetLabel() == "Exit"; },
        [&, frame] {
            Say("apply-enabled", frame->ApplyButton()->IsEnabled() ? "1" : "0");
            Say("patches-installed", std::to_string(frame->PatchesInstalled()));
            script.DumpLog();
        });
    // The timer's ticks after the end leave a completed session's gauge full.
    script.Add("settled", AfterTicks(12), [&, frame] {
        Say("gauge-full", frame->Gauge()->GetValue() == frame->Gauge()->GetRange() ? "1" : "0");
        script.Screenshot("finished");
    });
    script.Add(
        "exit", [] { return true; },
        [&, frame] { script.Click(ScreenCentre(frame->CancelButton())); });
    script.Add(
        "no question", [] { return ShownMessageDialog() != nullptr; },
        [] { Say("question", DialogText(ShownMessageDialog())); });
}

// A link in the release notes, once the page has loaded, goes to the system's browser.
void LinkScript(Script& script) {
    PatchMainFrame* frame = script.Frame();
    script.Add(
        "page", [&] { return WindowReady(script) && PageShown(script); },
        [&, frame] {
            Say("link-guard", frame->LinkGuard() ? "1" : "0");
            const wxRect page = frame->ReleaseNotes()->GetScreenRect();
            script.Click(wxPoint(page.x + 40, page.y + 30));
        });
    script.Add(
        "browser", [] { return access(std::getenv("ORVIK_BROWSER_MARK"), F_OK) == 0; },
        [&, frame] {
            Say("page-url", Utf8(frame->ReleaseNotes()->GetCurrentURL()));
            script.Click(ScreenCentre(frame->CancelButton()));
        });
}

// The close box while a session runs: No keeps it; after a patch the question changes, and
// Yes cancels; the window closes once the worker has ended.
void CancelScript(Script& script) {
    PatchMainFrame* frame = script.Frame();
    script.Add(
        "idle", [&] { return WindowReady(script) && PageShown(script); },
        [&, frame] { script.Click(ScreenCentre(frame->ApplyButton())); });
    script.Add(
        "close while running", [frame] { return frame->IsRunning(); }, [&] { CloseBox(script); });
    script.Add(
        "first question", [] { return ShownMessageDialog() != nullptr; },
        [&] { AnswerQuestion(script, "question", false); });
    script.Add(
        "kept running", [] { return ShownMessageDialog() == nullptr; },
        [frame] {
            Say("running-after-no", frame->IsRunning() ? "1" : "0");
            Say("shown-after-no", frame->IsShown() ? "1" : "0");
        });
    script.Add(
        "close after a patch",
        [frame] { return frame->PatchesInstalled() > 0 && frame->IsRunning(); },
        [&] { CloseBox(script); });
    script.Add(
        "second question", [] { return ShownMessageDialog() != nullptr; },
        [&] { AnswerQuestion(script, "question-after-patch", true); });
    script.Add(
        "cancelling", [&] { return script.LogHas("Cancelling patch process..."); },
        [&, frame] {
            // By now the cancelled session may have ended too, turning the button to "Exit".
            wxButton* button = frame->CancelButton();
            Say("cancel-button",
                Utf8(button->GetLabel()) + (button->IsEnabled() ? " enabled" : " disabled"));
            script.Screenshot("cancelling");
        });
}

// The close box while the session runs, and the question left open until the session has
// finished: "Yes" then keeps the window and its result on show.
void CancelAfterFinishScript(Script& script) {
    PatchMainFrame* frame = script.Frame();
    script.Add(
        "idle", [&] { return WindowReady(script); },
        [&, frame] { script.Click(ScreenCentre(frame->ApplyButton())); });
    script.Add(
        "close while running", [frame] { return frame->IsRunning(); }, [&] { CloseBox(script); });
    script.Add(
        "finished behind the question",
        [frame] { return ShownMessageDialog() && frame->CancelButton()->GetLabel() == "Exit"; },
        [&] { AnswerQuestion(script, "question-after-finish", true); });
    // The window's timer would have closed a cancelled window within these ticks.
    script.Add("result kept", AfterTicks(12), [&, frame] {
        Say("shown-after-yes", frame->IsShown() ? "1" : "0");
        script.DumpLog();
        script.Screenshot("result-kept");
        script.Click(ScreenCentre(frame->CancelButton()));
    });
}

// A download mode session starts by itself: the status line shows the download while it runs
// and is empty once the session has finished.
void DownloadScript(Script& script) {
    PatchMainFrame* frame = script.Frame();
    script.Add(
        "downloading", [frame] { return !frame->StatusLine()->GetLabel().empty(); },
        [&, frame] {
            Say("status", Utf8(frame->StatusLine()->GetLabel()));
            Say("gauge-range", std::to_string(frame->Gauge()->GetRange()));
            script.Screenshot("downloading");
        });
    script.Add(
        "finished", [frame] { return frame->CancelButton()->GetLabel() == "Exit"; },
        [&, frame] {
            Say("status-after", "[" + Utf8(frame->StatusLine()->GetLabel()) + "]");
            Say("patches-installed", std::to_string(frame->PatchesInstalled()));
            script.Click(ScreenCentre(frame->CancelButton()));
        });
}

// The idle window in the user's language; "Cancel" with no session closes at once.
void IdleScript(Script& script) {
    PatchMainFrame* frame = script.Frame();
    script.Add(
        "idle", [&] { return WindowReady(script); },
        [&, frame] {
            DescribeWindow(script);
            script.DumpLog();
            script.Screenshot("idle-language");
            script.Click(ScreenCentre(frame->CancelButton()));
        });
}

class GuiDriverApp : public ZephPatch::OrvikPatcherApp {
public:
    bool OnInit() override {
        if (!OrvikPatcherApp::OnInit())
            return false;
        const char* name = std::getenv("ORVIK_GUI_SCRIPT");
        const char* shots = std::getenv("ORVIK_GUI_SHOTS");
        m_script = new Script(MainWindow(), shots ? shots : ".");
        // Every close request shows the log as it stands; the last one is what the user saw.
        MainWindow()->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
            Say("closing", "");
            m_script->DumpLog();
            event.Skip();
        });
        const std::string script = name ? name : "";
        if (script == "standalone")
            StandaloneScript(*m_script);
        else if (script == "link")
            LinkScript(*m_script);
        else if (script == "cancel")
            CancelScript(*m_script);
        else if (script == "cancel-after-finish")
            CancelAfterFinishScript(*m_script);
        else if (script == "download")
            DownloadScript(*m_script);
        else
            IdleScript(*m_script);
        m_script->Run();
        return true;
    }
    int OnExit() override {
        delete m_script;
        Say("exit", "0");
        return OrvikPatcherApp::OnExit();
    }

private:
    Script* m_script = nullptr;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(GuiDriverApp);

int main(int argc, char** argv) {
    ZephPatch::OrvikPatcherApp::SetRawArguments(argc, argv);
    return wxEntry(argc, argv);
}
