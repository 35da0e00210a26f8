#include <io.h>
#include <windows.h>

#include <cstdio>

#include "tools/zephpack/silent_terminal.h"

namespace ZephPack {

struct SilentTerminal::Saved {
    DWORD mode = 0;
};

bool InputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

SilentTerminal::SilentTerminal() : m_saved(std::make_unique<Saved>()) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (!GetConsoleMode(input, &m_saved->mode)) {
        m_saved.reset();
        return;
    }
    SetConsoleMode(input, m_saved->mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
}

SilentTerminal::~SilentTerminal() {
    if (m_saved)
        SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), m_saved->mode);
}

}  // namespace ZephPack
