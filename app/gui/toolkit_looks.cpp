#include "app/gui/toolkit_looks.h"

#include <gtk/gtk.h>

namespace ZephPatch {

void HideCaret(wxTextCtrl* text) {
    // A multi-line text is a GtkTextView inside a scrolled window.
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(text->GetHandle()));
    if (child && GTK_IS_TEXT_VIEW(child))
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(child), FALSE);
}

void SetWindowClass(wxTopLevelWindow* window, const char* name) {
    // GTK keeps this call for exactly this use; the program-wide class is set too late here.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_window_set_wmclass(GTK_WINDOW(window->GetHandle()), name, name);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

}  // namespace ZephPatch
