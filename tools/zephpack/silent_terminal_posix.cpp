#include <termios.h>
#include <unistd.h>

#include "tools/zephpack/silent_terminal.h"

namespace ZephPack {

struct SilentTerminal::Saved {
    termios settings{};
};

bool InputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

SilentTerminal::SilentTerminal() : m_saved(std::make_unique<Saved>()) {
    if (tcgetattr(STDIN_FILENO, &m_saved->settings) != 0) {
        m_saved.reset();
        return;
    }
    termios silent = m_saved->settings;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
}

SilentTerminal::~SilentTerminal() {
    if (m_saved)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved->settings);
}

}  // namespace ZephPack
