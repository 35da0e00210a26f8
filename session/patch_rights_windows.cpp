#include <windows.h>

#include <cstdlib>

#include "kernel/files/file_utils.h"
#include "kernel/system/wide_text.h"
#include "session/installation_access.h"
#include "session/patch_rights.h"

namespace ZephPatch {
namespace {

bool Opens(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    const HANDLE file = CreateFileW(ZephUtil::ToWide(path).c_str(), access, share, nullptr,
                                    disposition, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

}  // namespace

// A running product holds its executable: the open for writing then fails as in use.
bool ProductExecutableWritable(const std::string& installPath) {
    const std::string program = ZephUtil::JoinPath(installPath, "bin/Velmor.exe");
    if (!ZephUtil::FileExists(program))
        return true;
    return Opens(program, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                 FILE_ATTRIBUTE_NORMAL);
}

// The folder's access list decides: a file made there and gone again when closed asks it.
bool InstallationWritable(const std::string& installPath) {
    if (installPath.empty() || !ZephUtil::IsDirectory(installPath))
        return true;
    return Opens(ZephUtil::MakeTempName(installPath), GENERIC_WRITE, 0, CREATE_NEW,
                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
}

std::string TempFolder() {
    const wchar_t* value = _wgetenv(L"TEMP");
    return value && *value ? ZephUtil::FromWide(value) : std::string("C:\\temp");
}

}  // namespace ZephPatch
