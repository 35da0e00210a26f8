// The least a window with release notes can cost: a frame of the installer's size and styles
// holding one web view that loads the given page. The GUI bench compares the installer's start
// with this one's.
//
//   gui_reference_window TITLE URL
#include <wx/frame.h>
#include <wx/webview.h>
#include <wx/wx.h>

namespace {

class ReferenceApp : public wxApp {
public:
    bool OnInit() override {
        if (argc != 3) {
            wxFprintf(stderr, "usage: gui_reference_window TITLE URL\n");
            return false;
        }
        auto* frame = new wxFrame(nullptr, wxID_ANY, argv[1], wxDefaultPosition, wxSize(900, 800),
                                  wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
        wxWebView::New(frame, wxID_ANY, argv[2]);
        frame->Show();
        return true;
    }
};

}  // namespace

wxIMPLEMENT_APP(ReferenceApp);
