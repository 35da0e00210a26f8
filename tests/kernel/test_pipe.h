// Test support for pipes: an anonymous pipe as two runtime descriptors on either system, and
// the UTF-16LE text of the log pipe.
#pragma once

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

#include <string>

namespace orvik_test {

// Binary on Windows, so that bytes pass unchanged.
inline bool MakePipe(int ends[2]) {
#ifdef _WIN32
    return _pipe(ends, 65536, _O_BINARY) == 0;
#else
    return pipe(ends) == 0;
#endif
}

// The UTF-16LE bytes a parent reads from its child's log pipe, as text.
inline std::u16string FromUtf16Le(const std::string& bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return text;
}

}  // namespace orvik_test
