#include "session/session_messages.h"

#include "kernel/messages/message_catalogue.h"

namespace ZephPatch {

std::string SessionMessage(int id) {
    return LoadMessage(id);
}

std::string FormatMessage(int id, const std::string& first, const std::string& second) {
    std::string text = LoadMessage(id);
    for (const std::string* argument : {&first, &second}) {
        const size_t at = text.find("%s");
        if (at == std::string::npos)
            break;
        text.replace(at, 2, *argument);
    }
    return text;
}

}  // namespace ZephPatch
