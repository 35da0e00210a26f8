// Looks the toolkit's API does not reach, set on its GTK widgets directly.
#pragma once

#include <wx/textctrl.h>
#include <wx/toplevel.h>

namespace ZephPatch {

// A read-only multi-line text shows no text caret.
void HideCaret(wxTextCtrl* text);

// The window's WM_CLASS, both parts `name` ("InstallPatchGUI" rather than GTK's
// "Installpatchgui" or the program file's name), which desktop entries and window managers
// match. Call before the window is first shown.
void SetWindowClass(wxTopLevelWindow* window, const char* name);

}  // namespace ZephPatch
