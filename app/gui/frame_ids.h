// Identifiers of the main window's controls and of the events the worker queues to it.
#pragma once

namespace ZephPatch {

enum FrameId : int {
    ID_APPLY_UPDATE = 0,
    ID_CANCEL = 1,
    // Events from the worker (command events of the menu type).
    ID_SESSION_FINISHED = 2,
    ID_MESSAGE_LINE = 3,
    ID_CHOOSE_INSTALLATION = 15,
    ID_PATCH_INSTALLED = 16,
    ID_RELEASE_NOTES = 501,
};

}  // namespace ZephPatch
