// The parent's pipe on Windows: "\\.\pipe\<pid>cout", created by the parent before we start.
#include <fcntl.h>
#include <io.h>
#include <unistd.h>

#include <string>

#include "kernel/log/log_internal.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil::detail {

bool ConnectStdoutPipe() {
    // Lines and bytes leave as they are, "\n" without "\r", as on Linux.
    _setmode(STDOUT_FILENO, _O_BINARY);
    const std::wstring name = L"\\\\.\\pipe\\" + std::to_wstring(GetCurrentProcessId()) + L"cout";
    UniqueHandle pipe(
        CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!pipe.IsOpen())
        return false;
    // The runtime's descriptor 1 (printf, the log) and the system's standard output handle
    // both become the pipe.
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(pipe.Get()), _O_BINARY | _O_WRONLY);
    if (fd < 0)
        return false;
    pipe.Release();
    const bool connected = _dup2(fd, STDOUT_FILENO) == 0;
    _close(fd);
    if (!connected)
        return false;
    _setmode(STDOUT_FILENO, _O_BINARY);
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(STDOUT_FILENO)));
    return true;
}

}  // namespace ZephUtil::detail
