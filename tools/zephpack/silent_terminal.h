// Typing a password without showing it.
#pragma once

#include <memory>

namespace ZephPack {

// Whether standard input is a terminal (or console) that a person types at.
[[nodiscard]] bool InputIsTerminal();

// Echo of standard input stays off for the life of this object; nothing changes when standard
// input is no terminal.
class SilentTerminal {
public:
    SilentTerminal();
    ~SilentTerminal();
    SilentTerminal(const SilentTerminal&) = delete;
    SilentTerminal& operator=(const SilentTerminal&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> m_saved;  // empty when nothing was changed
};

}  // namespace ZephPack
