// Test support: an anonymous pipe as two runtime descriptors, on either system.
#pragma once

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#endif

namespace orvik_test {

// Binary on Windows, so that bytes pass unchanged.
inline bool MakePipe(int ends[2]) {
#ifdef _WIN32
    return _pipe(ends, 65536, _O_BINARY) == 0;
#else
    return pipe(ends) == 0;
#endif
}

}  // namespace orvik_test
