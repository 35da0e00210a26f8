#include "kernel/crash/symbols.h"

#include <cxxabi.h>
#include <elfutils/libdwfl.h>

#include <execinfo.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace ZephUtil::detail {
namespace {

std::string Demangled(const char* name) {
    int status = 0;
    char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    if (status != 0 || !readable)
        return name;
    std::string result = readable;
    free(readable);
    return result;
}

const Dwfl_Callbacks kCallbacks = {
    dwfl_linux_proc_find_elf,
    dwfl_standard_find_debuginfo,
    nullptr,
    nullptr,
};

}  // namespace

SymbolTable::SymbolTable(pid_t pid) : m_dwfl(dwfl_begin(&kCallbacks)) {
    if (!m_dwfl)
        return;
    dwfl_report_begin(m_dwfl);
    dwfl_linux_proc_report(m_dwfl, pid);
    dwfl_report_end(m_dwfl, nullptr, nullptr);
}

SymbolTable::~SymbolTable() {
    if (m_dwfl)
        dwfl_end(m_dwfl);
}

CallStackFrame SymbolTable::Lookup(uintptr_t address, bool isReturnAddress) const {
    CallStackFrame frame;
    if (!m_dwfl)
        return frame;
    const Dwarf_Addr lookup = isReturnAddress && address > 0 ? address - 1 : address;
    Dwfl_Module* module = dwfl_addrmodule(m_dwfl, lookup);
    if (!module)
        return frame;
    if (const char* name = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr)) {
        frame.module = name;
    }
    GElf_Off offset = 0;
    GElf_Sym symbol;
    if (const char* name =
            dwfl_module_addrinfo(module, lookup, &offset, &symbol, nullptr, nullptr, nullptr)) {
        frame.symbol = Demangled(name);
    }
    if (Dwfl_Line* line = dwfl_module_getsrc(module, lookup)) {
        int number = 0;
        if (const char* file = dwfl_lineinfo(line, nullptr, &number, nullptr, nullptr, nullptr)) {
            frame.file = file;
            frame.line = number;
        }
    }
    return frame;
}

__attribute__((noinline)) int CaptureStack(void** frames, int maxFrames) {
    const int count = backtrace(frames, maxFrames);
    if (count <= 1)
        return 0;
    memmove(frames, frames + 1, sizeof(void*) * (count - 1));  // without this function
    return count - 1;
}

std::vector<CallStackFrame> LookUpFrames(void* const* frames, int count) {
    const SymbolTable symbols(getpid());
    std::vector<CallStackFrame> found;
    for (int i = 0; i < count; ++i)
        found.push_back(symbols.Lookup(reinterpret_cast<uintptr_t>(frames[i]), true));
    return found;
}

}  // namespace ZephUtil::detail
