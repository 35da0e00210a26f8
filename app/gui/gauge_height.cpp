#include "app/gui/gauge_height.h"

#include <gtk/gtk.h>

#include <string>

namespace ZephPatch {

void SetGaugeHeight(wxGauge* gauge, int height) {
    const std::string rule =
        "progressbar trough, progressbar progress { min-height: " + std::to_string(height) +
        "px; }";
    GtkCssProvider* provider = gtk_css_provider_new();
    if (gtk_css_provider_load_from_data(provider, rule.c_str(), -1, nullptr)) {
        GtkStyleContext* context = gtk_widget_get_style_context(gauge->GetHandle());
        gtk_style_context_add_provider(context, GTK_STYLE_PROVIDER(provider),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    }
    g_object_unref(provider);
}

}  // namespace ZephPatch
