// Catalogue texts that the session shows, by message id.
#pragma once

#include <string>

namespace ZephPatch {

enum SessionMessageId : int {
    kMsgFileErrorReadingPatch = 181,
    kMsgPatchNotApplicable = 184,
    kMsgReadyForLocalPatch = 187,
    kMsgCurrentVersion = 188,
};

// The text of a catalogue id in English, UTF-8; empty for an id the session does not use.
std::string SessionMessage(int id);

}  // namespace ZephPatch
