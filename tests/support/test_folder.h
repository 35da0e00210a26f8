// Helpers shared by the tests (and the fuzz harnesses): a fresh temporary folder per test, small
// file helpers, and a way to run a check as an ordinary user even when the tests run as root
// (where permission bits do not stop anything). No GoogleTest in here: the fuzz harnesses
// include it too.
#pragma once

#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#endif

#include <cerrno>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace orvik_test {

// What a program's file name ends with.
#ifdef _WIN32
inline const std::string kExeSuffix = ".exe";
#else
inline const std::string kExeSuffix;
#endif

// The folder of the system's temporary files (TMPDIR, else /tmp).
[[nodiscard]] inline std::filesystem::path SystemTempFolder() {
    return std::filesystem::temp_directory_path();
}

// Shared memory where there is one: for tests that write much and keep nothing.
[[nodiscard]] inline std::filesystem::path MemoryTempFolder() {
    return std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : SystemTempFolder();
}

// A new folder below `base`, removed with everything in it at the end. Throws when the folder
// cannot be made, so that a test never writes anywhere else. The path is canonical, so that it
// compares equal to what the code under test resolves.
class TestFolder {
public:
    explicit TestFolder(const std::filesystem::path& base = SystemTempFolder()) {
        std::string pattern = (base / "orvik-XXXXXX").string();
        if (!MakeUniqueFolder(pattern))
            throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
        // With '/' separators on every system, as the code under test forms paths.
        m_path = std::filesystem::canonical(pattern).generic_string();
        // Traversable by the unprivileged user of RunUnprivileged.
        chmod(m_path.c_str(), 0755);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] std::string Path(const std::string& name) const { return m_path + "/" + name; }
    std::string operator/(const std::string& name) const { return Path(name); }

private:
    // Replaces the pattern's trailing XXXXXX by a name that did not exist and makes it.
    static bool MakeUniqueFolder(std::string& pattern) {
#ifdef _WIN32
        static unsigned counter = 0;
        const std::string stem = pattern.substr(0, pattern.size() - 6);
        for (int attempt = 0; attempt < 1000; ++attempt) {
            char suffix[8];
            snprintf(suffix, sizeof suffix, "%06x",
                     (static_cast<unsigned>(getpid()) * 7919u + counter++) & 0xFFFFFFu);
            std::error_code error;
            if (std::filesystem::create_directory(stem + suffix, error)) {
                pattern = stem + suffix;
                return true;
            }
        }
        errno = EEXIST;
        return false;
#else
        return mkdtemp(pattern.data()) != nullptr;
#endif
    }

    std::string m_path;
};

// A path from UTF-8 text, on every system (Windows would read a narrow string in its ANSI code
// page).
inline std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The file helpers take a UTF-8 string or a path; templates, so that a string literal still
// means the string (a path does not turn into a std::string by itself on Windows).
template <std::same_as<std::filesystem::path> Path>
void WriteFile(const Path& path, const std::string& contents) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

template <std::same_as<std::filesystem::path> Path>
[[nodiscard]] std::string ReadFile(const Path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& contents) {
    WriteFile(Utf8Path(path), contents);
}

inline std::string ReadFile(const std::string& path) {
    return ReadFile(Utf8Path(path));
}

template <typename Path>
void WriteBytes(const Path& path, const std::vector<uint8_t>& bytes) {
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

template <typename Path>
[[nodiscard]] std::vector<uint8_t> ReadBytes(const Path& path) {
    const std::string text = ReadFile(path);
    return {text.begin(), text.end()};
}

// Sets an environment variable for one scope and restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old, m_had = true;
        Set(name, value);
    }
    ~ScopedEnv() { Set(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    static void Set(const char* name, const char* value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");  // an empty value removes it there
#else
        value ? setenv(name, value, 1) : unsetenv(name);
#endif
    }

    std::string m_name, m_old;
    bool m_had = false;
};

constexpr int kUnprivilegedUnavailable = 77;

// Runs `check` in a child process as user and group "nobody" (65534) when the tests run as
// root, as this user otherwise. The child works from `folder` so that paths relative to it
// need no search rights above it. The result is whether `check` returned true; a test
// should skip when privileges cannot be dropped (kUnprivilegedUnavailable).
[[nodiscard]] inline int RunUnprivileged(const std::string& folder,
                                         const std::function<bool()>& check) {
#ifdef _WIN32
    // No fork, and no user to drop to without a password.
    (void)folder;
    (void)check;
    return kUnprivilegedUnavailable;
#else
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(2);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(kUnprivilegedUnavailable);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 3;
    return WEXITSTATUS(status);
#endif
}

}  // namespace orvik_test
