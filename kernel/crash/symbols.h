// Symbol and source-line lookup for code addresses of a running process (libdw).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "kernel/crash/crash_internal.h"

struct Dwfl;

namespace ZephUtil::detail {

// The modules mapped into process `pid` at construction. Not for signal handlers.
class SymbolTable {
public:
    explicit SymbolTable(pid_t pid);
    ~SymbolTable();
    SymbolTable(const SymbolTable&) = delete;
    SymbolTable& operator=(const SymbolTable&) = delete;

    // A return address is looked up one byte back, inside the call it returns from; a
    // faulting program counter is looked up as it is. Failed parts stay empty.
    CallStackFrame Lookup(uintptr_t address, bool isReturnAddress) const;

private:
    Dwfl* m_dwfl;
};

}  // namespace ZephUtil::detail
