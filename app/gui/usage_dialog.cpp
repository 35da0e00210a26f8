#include "app/gui/usage_dialog.h"

#include <wx/dialog.h>
#include <wx/font.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "app/gui/zeph_icon.h"

namespace ZephPatch {
namespace {

constexpr int kMargin = 12;

}  // namespace

void ShowUsageDialog(const wxString& text) {
    wxDialog dialog(nullptr, wxID_ANY, "InstallPatchGUI");
    dialog.SetIcons(ZephIcon());
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    wxString shown = text;
    shown.Trim();  // the text's last line end would leave an empty line above the button
    auto* usage = new wxStaticText(&dialog, wxID_ANY, shown);
    usage->SetFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE));
    sizer->Add(usage, 0, wxALL, kMargin);
    sizer->Add(dialog.CreateStdDialogButtonSizer(wxOK), 0, wxEXPAND | wxALL, kMargin);
    dialog.SetSizerAndFit(sizer);
    dialog.Centre();
    dialog.ShowModal();
}

}  // namespace ZephPatch
