// Stands in for pkexec where no polkit runs: installed setuid root, it becomes root, clears the
// environment the way pkexec does (keeping only the locale and the terminal, setting a safe
// PATH and the target user's names) and runs the program with its arguments. It notes its
// arguments, one per line, in the file that FAKE_PKEXEC_LOG names. 127 when it cannot become
// root or the program cannot be run, as pkexec does.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    if (const char* log = std::getenv("FAKE_PKEXEC_LOG")) {
        if (FILE* file = std::fopen(log, "w")) {
            std::fprintf(file, "euid=%d\n", static_cast<int>(geteuid()));
            for (int i = 1; i < argc; ++i)
                std::fprintf(file, "%s\n", argv[i]);
            std::fclose(file);
        }
    }
    const uid_t caller = getuid();
    if (argc < 2 || geteuid() != 0 || setgid(0) != 0 || setuid(0) != 0)
        return 127;
    std::vector<std::pair<std::string, std::string>> kept;
    for (const char* name : {"SHELL", "LANG", "LINGUAS", "LANGUAGE", "LC_ALL", "LC_MESSAGES",
                             "LC_CTYPE", "TERM", "COLORTERM"}) {
        if (const char* value = std::getenv(name))
            kept.emplace_back(name, value);
    }
    clearenv();
    for (const auto& [name, value] : kept)
        setenv(name.c_str(), value.c_str(), 1);
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    setenv("USER", "root", 1);
    setenv("LOGNAME", "root", 1);
    setenv("HOME", "/root", 1);
    setenv("PKEXEC_UID", std::to_string(caller).c_str(), 1);
    execvp(argv[1], argv + 1);
    return 127;
}
