#include "app/gui/release_notes.h"

#include <algorithm>
#include <cctype>

#include "kernel/messages/message_catalogue.h"
#include "kernel/registry/registry.h"
#include "session/product_registry.h"

namespace ZephPatch {
namespace {

constexpr int kMsgAboutBlank = 176;

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::string ReleaseNotesAddress() {
    ZephUtil::RegistryKey key;
    std::string address;
    if (key.Open(PATCHING_FLAG_KEY, ZephUtil::RegAccess::kRead) &&
        key.QueryString(RELEASE_NOTES_URL_VALUE, &address) && !address.empty())
        return address;
    return DEFAULT_RELEASE_NOTES_URL;
}

bool OpensInBrowser(const std::string& address, bool linkGuard) {
    return linkGuard && Lowered(address) != LoadMessage(kMsgAboutBlank);
}

}  // namespace ZephPatch
