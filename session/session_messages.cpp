#include "session/session_messages.h"

namespace ZephPatch {

// English until the session links the catalogue lookup; then this body becomes that lookup.
std::string SessionMessage(int id) {
    switch (id) {
        case kMsgFileErrorReadingPatch:
            return "File error while reading patch data.";
        case kMsgPatchNotApplicable:
            return "This patch file is not applicable to your current installation version.";
        case kMsgReadyForLocalPatch:
            return "Ready to install from local patch file.";
        case kMsgCurrentVersion:
            return "Current version: %s.";
        default:
            return {};
    }
}

}  // namespace ZephPatch
