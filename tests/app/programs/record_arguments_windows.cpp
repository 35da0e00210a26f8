// Stands in for the installer's elevated copy and for an on-exit program: writes its command
// line after the program (UTF-8) to the file named by RECORD_ARGUMENTS_TO and exits with the
// code in RECORD_ARGUMENTS_EXIT (0 when unset).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/system/wide_text.h"

int main() {
    std::wstring line = GetCommandLineW();
    // The program's own name, quoted or not, and the blanks after it.
    size_t at = line.starts_with(L'"') ? line.find(L'"', 1) + 1 : line.find(L' ');
    at = line.find_first_not_of(L' ', at == std::wstring::npos ? line.size() : at);
    const std::string arguments =
        ZephUtil::FromWide(at == std::wstring::npos ? L"" : line.substr(at));
    if (const wchar_t* path = _wgetenv(L"RECORD_ARGUMENTS_TO")) {
        if (FILE* file = _wfopen(path, L"wb")) {
            std::fwrite(arguments.data(), 1, arguments.size(), file);
            std::fclose(file);
        }
    }
    const char* code = std::getenv("RECORD_ARGUMENTS_EXIT");
    return code ? std::atoi(code) : 0;
}
