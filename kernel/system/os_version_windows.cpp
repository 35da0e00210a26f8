#include "kernel/system/os_version.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {

SystemVersion QuerySystemVersion() {
    // RtlGetVersion answers for the real system; GetVersionExW answers what the program's
    // manifest declares it knows.
    using RtlGetVersionCall = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionCall>(reinterpret_cast<void*>(
                                           GetProcAddress(ntdll, "RtlGetVersion")))
                                     : nullptr;
    if (!(rtlGetVersion && rtlGetVersion(&info) == 0) &&
        !GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
        return {};
    return {info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor};
}

bool SystemLibraryLoads(const std::string& name) {
    // No error box for a library that is missing or broken: the answer is the report.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE library = LoadLibraryW(ToWide(name).c_str());
    SetErrorMode(previous);
    if (!library)
        return false;
    FreeLibrary(library);
    return true;
}

}  // namespace ZephUtil
