#include "tools/zephpack/catalogue_command.h"

#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "kernel/data_buffer.h"

namespace ZephPack {
namespace {

int Usage() {
    std::fprintf(stderr, "usage: zephpack catalogue CATALOGUE FROM TO URL [FROM TO URL]...\n");
    return 2;
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "zephpack catalogue: %s\n", why.c_str());
    return 1;
}

// The reader trims spaces and takes one pair of enclosing quotes off; a value that would lose
// either gets a pair of quotes of its own.
std::string Quoted(std::string_view value) {
    const bool loses = value.front() == ' ' || value.back() == ' ' ||
                       (value.size() > 1 && value.front() == '"' && value.back() == '"');
    return loses ? "\"" + std::string(value) + "\"" : std::string(value);
}

// Why a value cannot be written, or empty when it can.
std::string Problem(std::string_view value, bool isBuild) {
    if (value.empty())
        return "empty value";
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return "line break in \"" + std::string(value) + "\"";
    if (isBuild && value.find_first_of("/\\") != std::string_view::npos)
        return "build \"" + std::string(value) + "\" holds a path separator";
    return {};
}

std::string RecordText(const char* from, const char* to, const char* url) {
    return "source-version: " + Quoted(from) + "\r\ntarget-version: " + Quoted(to) +
           "\r\npatch-exe-url: " + Quoted(url) + "\r\npatch-data-url: " + Quoted(url) + "\r\n";
}

}  // namespace

int RunCatalogueCommand(int argc, char** argv) {
    if (argc < 5 || (argc - 2) % 3 != 0)
        return Usage();
    std::string text;
    std::set<std::string> sources;
    for (int i = 2; i < argc; i += 3) {
        for (int k = 0; k < 3; ++k) {
            const std::string problem = Problem(argv[i + k], k < 2);
            if (!problem.empty())
                return Fail(problem);
        }
        if (!sources.insert(argv[i]).second)
            return Fail(std::string("two patches from build ") + argv[i]);
        text += (text.empty() ? "" : "\r\n") + RecordText(argv[i], argv[i + 1], argv[i + 2]);
    }
    ZephUtil::ZephDataBufferFile file(argv[1], ZephUtil::kFileWrite);
    if (!file.IsOpen() ||
        file.Write(text.data(), static_cast<uint32_t>(text.size())) != ZephUtil::kBufOk ||
        !file.Commit())
        return Fail(std::string("cannot write ") + argv[1]);
    return 0;
}

}  // namespace ZephPack
