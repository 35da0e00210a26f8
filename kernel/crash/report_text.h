// Text output for the crash paths without allocation or stdio, so it may run in a signal
// handler: a fixed buffer flushed with write(2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kernel/log/log_internal.h"

namespace ZephUtil::detail {

// Writes `value` in hexadecimal (lower case, at least `digits` digits) into out, which holds
// at least 17 characters; returns out.
[[nodiscard]] inline char* FormatHex(uintptr_t value, int digits, char* out) {
    char reversed[16];
    int count = 0;
    do {
        reversed[count++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0 || count < digits);
    for (int i = 0; i < count; ++i)
        out[i] = reversed[count - 1 - i];
    out[count] = '\0';
    return out;
}

[[nodiscard]] inline char* FormatDecimal(long long value, char* out) {
    char reversed[24];
    int count = 0;
    unsigned long long rest = value < 0 ? 0ULL - value : value;
    do {
        reversed[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    char* next = out;
    if (value < 0)
        *next++ = '-';
    while (count > 0)
        *next++ = reversed[--count];
    *next = '\0';
    return out;
}

class ReportText {
public:
    explicit ReportText(int fd) : m_fd(fd) {}
    ~ReportText() { Flush(); }
    ReportText(const ReportText&) = delete;
    ReportText& operator=(const ReportText&) = delete;

    ReportText& operator<<(const char* text) {
        for (; *text; ++text) {
            if (m_used == sizeof(m_buffer))
                Flush();
            m_buffer[m_used++] = *text;
        }
        return *this;
    }
    ReportText& Decimal(long long value) {
        char digits[24];
        return *this << FormatDecimal(value, digits);
    }
    ReportText& Address(uintptr_t value) {
        char digits[17];
        return *this << "0x" << FormatHex(value, 16, digits);
    }
    void Flush() {
        WriteAll(m_fd, m_buffer, m_used);
        m_used = 0;
    }

private:
    int m_fd;
    char m_buffer[1024];
    size_t m_used = 0;
};

}  // namespace ZephUtil::detail
