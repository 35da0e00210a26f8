#include "tools/orbpatch/cli.h"

#include <strings.h>
#include <zstd.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/orbpatch/apply.h"
#include "tools/orbpatch/diff.h"
#include "tools/orbpatch/pending_file.h"

namespace OrbPatch {
namespace {

const char* const USAGE =
    "usage: orbpatch diff [--level N] OLD NEW DIFF   make the difference from OLD to NEW\n"
    "       orbpatch apply OLD DIFF OUT              rebuild NEW from OLD and DIFF into OUT\n"
    "       orbpatchl-w32.exe OLD DIFF OUT           the same as apply\n"
    "       orbpatch --help | --version\n"
    "exit codes: 0 success, 1 wrong arguments, 2 OLD unreadable, 3 NEW or DIFF unreadable,\n"
    "            4 output not writable, 5 DIFF damaged, 6 DIFF made from another OLD,\n"
    "            7 out of memory\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "orbpatch> %s\n%s", problem, USAGE);
    return ORBPATCH_USAGE;
}

int Report(const char* function, const Result& result) {
    if (!result.ok()) {
        std::fprintf(stderr, "%s> %s\n", function, result.message.c_str());
    }
    return result.code;
}

bool IsInstallerName(const char* argv0) {
    std::string name = argv0 == nullptr ? "" : argv0;
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    return strcasecmp(name.c_str(), INSTALLER_TOOL_NAME) == 0;
}

bool ParseLevel(const std::string& text, int* level) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *level);
    return ec == std::errc() && end == text.data() + text.size() && *level >= 1 &&
           *level <= ZSTD_maxCLevel();
}

int RunDiff(std::vector<std::string> args) {
    DiffOptions options;
    if (args.size() >= 2 && args[0] == "--level") {
        if (!ParseLevel(args[1], &options.level)) {
            return Usage("--level takes a number from 1 to 22");
        }
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 3) {
        return Usage("diff takes OLD NEW DIFF");
    }
    return Report("MakeDiff", MakeDiff(args[0], args[1], args[2], options));
}

int RunApply(const std::vector<std::string>& args) {
    if (args.size() != 3) {
        return Usage("apply takes OLD DIFF OUT");
    }
    return Report("ApplyDiff", ApplyDiff(args[0], args[1], args[2]));
}

}  // namespace

int RunOrbPatch(int argc, char** argv) {
    InstallSignalCleanup();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (argc > 0 && IsInstallerName(argv[0])) {
        return RunApply(args);
    }
    if (args.empty()) {
        return Usage("no command");
    }
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "diff") {
        return RunDiff(std::move(args));
    }
    if (command == "apply") {
        return RunApply(args);
    }
    if (command == "--help" || command == "-h") {
        std::fputs(USAGE, stdout);
        return ORBPATCH_OK;
    }
    if (command == "--version") {
        std::printf("orbpatch %s\n", ORVIK_VERSION);
        return ORBPATCH_OK;
    }
    return Usage(("unknown command '" + command + "'").c_str());
}

}  // namespace OrbPatch
