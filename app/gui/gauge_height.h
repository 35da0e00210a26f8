// The gauge drawn as tall as it is laid out: the GTK theme would draw a thin line instead.
#pragma once

#include <wx/gauge.h>

namespace ZephPatch {

void SetGaugeHeight(wxGauge* gauge, int height);

}  // namespace ZephPatch
