// Formatting and dispatching of log lines.
#include "kernel/log/system_log.h"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cwchar>

#include "kernel/log/log_internal.h"
#include "kernel/system/text.h"

// winpthreads spells it without the suffix.
#ifndef PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP
#define PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP PTHREAD_RECURSIVE_MUTEX_INITIALIZER
#endif

namespace ZephUtil {
namespace {

// Statically initialised, so it works before and after every constructor and destructor.
// It is never destroyed: exit hooks and late destructors may still log.
pthread_mutex_t g_logLock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

constexpr size_t kFirstBufferSize = 4096;
constexpr size_t kMaxBufferSize = 65536;

// Formats into a buffer that starts at 4,096 characters and doubles while the text does not
// fit; at 65,536 the text is cut to 65,535. `format(buffer, size)` returns the length, or -1
// when the text was truncated.
template <typename Char, typename Formatter>
std::basic_string<Char> FormatGrowing(Formatter format) {
    for (size_t size = kFirstBufferSize;; size *= 2) {
        std::basic_string<Char> buffer(size, Char(0));
        const int length = format(buffer.data(), size);
        if (length >= 0) {
            buffer.resize(length);
            return buffer;
        }
        if (size == kMaxBufferSize) {
            // Cut text, or an encoding error: keep what was formatted.
            buffer.resize(std::char_traits<Char>::length(buffer.c_str()));
            if (buffer.size() > kMaxBufferSize - 1)
                buffer.resize(kMaxBufferSize - 1);
            return buffer;
        }
    }
}

}  // namespace

std::string detail::FormatLine(const char* format, va_list args) {
    return FormatGrowing<char>([&](char* buffer, size_t size) {
        va_list copy;
        va_copy(copy, args);
        const int length = vsnprintf(buffer, size, format, copy);
        va_end(copy);
        if (length < 0)
            return static_cast<int>(strnlen(buffer, size - 1));
        return static_cast<size_t>(length) < size ? length : -1;
    });
}

namespace {

// vswprintf reports truncation and encoding errors alike as -1 (glibc), or truncation as the
// length the whole text would have (MinGW's C99 formatter).
std::wstring FormatWide(const wchar_t* format, va_list args) {
    return FormatGrowing<wchar_t>([&](wchar_t* buffer, size_t size) {
        va_list copy;
        va_copy(copy, args);
        const int length = vswprintf(buffer, size, format, copy);
        va_end(copy);
        return length >= 0 && static_cast<size_t>(length) < size ? length : -1;
    });
}

// wchar_t is UTF-32 on Linux (UTF-16 on Windows, where this changes nothing); the narrow form
// is defined on UTF-16 code units.
std::u16string WideToUtf16(const std::wstring& text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const auto cp = static_cast<char32_t>(c);
        if (cp > 0xFFFF && cp <= 0x10FFFF) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp);
        }
    }
    return out;
}

// The dispatcher: one line, one mask, every destination under the log lock.
void Dispatch(int mask, std::string line) {
    LockLog();
    line += '\n';
    if (mask & kLogDebugger)
        detail::WriteToDebugger(line.data(), line.size());
    if (mask & kLogConsole)
        detail::WriteToConsole(line);
    UnlockLog();
}

void VPrintToW(int mask, const wchar_t* format, va_list args) {
    if (!format)
        return;
    Dispatch(mask, ToNarrowString(WideToUtf16(FormatWide(format, args))));
}

}  // namespace

void LockLog() {
    pthread_mutex_lock(&g_logLock);
}

void UnlockLog() {
    pthread_mutex_unlock(&g_logLock);
}

bool detail::TryLockLogFor(int milliseconds) {
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += (milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return pthread_mutex_timedlock(&g_logLock, &deadline) == 0;
}

void VPrintTo(int mask, const char* format, va_list args) {
    if (!format)
        return;
    Dispatch(mask, detail::FormatLine(format, args));
}

void PrintTo(int mask, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VPrintTo(mask, format, args);
    va_end(args);
}

void Print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    VPrintTo(kLogAll, format, args);
    va_end(args);
}

void PrintToW(int mask, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    VPrintToW(mask, format, args);
    va_end(args);
}

void PrintW(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    VPrintToW(kLogAll, format, args);
    va_end(args);
}

}  // namespace ZephUtil
