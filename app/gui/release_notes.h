// Where the window's release-notes page comes from, and which of its navigations leave the
// window for the system's browser.
#pragma once

#include <string>

namespace ZephPatch {

// The product's release notes, unless the registry names another page.
inline constexpr char DEFAULT_RELEASE_NOTES_URL[] =
    "https://www.orvik.example/velmor/releasenotes/";
// Under the product key (the key that holds "IsPatching").
inline constexpr char RELEASE_NOTES_URL_VALUE[] = "ReleaseNotesURL";

// The "ReleaseNotesURL" string of the product key when it is set and not empty, else the
// default address.
[[nodiscard]] std::string ReleaseNotesAddress();

// Whether a navigation to `address` belongs in the system's browser instead of the page:
// only once the guard is set (after the first page has loaded), and never for the blank page
// the window itself loads on its way out.
[[nodiscard]] bool OpensInBrowser(const std::string& address, bool linkGuard);

}  // namespace ZephPatch
