#include "app/gui/zeph_icon.h"

#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>

#include "app/gui/embedded_file.h"

namespace ZephPatch {

// The PNGs of app/resources/icons, compiled in.
extern const EmbeddedFile kZephIconImages[];
extern const size_t kZephIconImages_count;

wxIconBundle ZephIcon() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxIconBundle bundle;
    for (size_t i = 0; i < kZephIconImages_count; ++i) {
        const wxBitmap image =
            wxBitmap::NewFromPNGData(kZephIconImages[i].data, kZephIconImages[i].size);
        if (image.IsOk()) {
            wxIcon icon;
            icon.CopyFromBitmap(image);
            bundle.AddIcon(icon);
        }
    }
    return bundle;
}

}  // namespace ZephPatch
