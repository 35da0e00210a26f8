// Stands in for the patch tool and the asset converter in applier tests. What it does is
// written in the difference file:
//   "replace\n<bytes>"  checks the old file can be read, writes <bytes> as the output
//   "exit <n>\n"        exits with n without writing
//   "crash\n"           dies of SIGSEGV (an access violation on Windows)
//   "block-output\n"    makes the output a folder with a file in it, then exits with 7
//   "wait <ms>\n" first  sleeps that long, then does what the next line says
// Exit codes as the real tool: 1 argument count, 2 old file, 3 difference file, 4 output.
// With FAKE_TOOL_LOG set, each call appends "<working folder>|<arg>|<arg>..." to that file.
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

void LogCall(int argc, char** argv) {
    const char* log = std::getenv("FAKE_TOOL_LOG");
    if (!log)
        return;
    std::ofstream out(log, std::ios::app | std::ios::binary);
    out << std::filesystem::current_path().generic_string();
    for (int i = 1; i < argc; ++i)
        out << "|" << argv[i];
    out << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    LogCall(argc, argv);
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "patchapply")
        first = 2;
    if (argc - first != 3)
        return 1;
    const std::string oldFile = argv[first], diffFile = argv[first + 1], outFile = argv[first + 2];

    std::ifstream diff(diffFile, std::ios::binary);
    if (!diff)
        return 3;
    std::string command;
    std::getline(diff, command);
    if (command.starts_with("wait ")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(command.c_str() + 5)));
        std::getline(diff, command);
    }
    if (command.starts_with("exit "))
        return std::atoi(command.c_str() + 5);
    if (command == "crash") {
#ifdef _WIN32
        // Raising SIGSEGV there only exits with 3, which the tool's contract gives a meaning.
        *static_cast<volatile int*>(nullptr) = 0;
#else
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
#endif
    }
    if (command == "block-output") {
        std::filesystem::create_directories(outFile);
        std::ofstream(outFile + "/inside") << "x";
        return 7;
    }
    if (!std::ifstream(oldFile, std::ios::binary))
        return 2;
    std::ofstream out(outFile, std::ios::binary | std::ios::trunc);
    if (!out)
        return 4;
    out << std::string(std::istreambuf_iterator<char>(diff), std::istreambuf_iterator<char>());
    return out.good() ? 0 : 4;
}
