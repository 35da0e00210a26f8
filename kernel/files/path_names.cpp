// Path text: separators, joining and splitting. Pure string work, no file system access.
#include <algorithm>

#include "kernel/files/file_utils.h"

namespace ZephUtil {
namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Index just past the last separator (0 when there is none).
size_t LastComponentStart(std::string_view path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Index of the '.' that starts the extension of the last component, or npos.
size_t ExtensionDot(std::string_view path) {
    size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || dot < LastComponentStart(path))
        return std::string_view::npos;
    return dot;
}

}  // namespace

std::string NormaliseSeparators(std::string_view path, char separator) {
    std::string result(path);
    std::replace_if(result.begin(), result.end(), IsSeparator, separator);
    return result;
}

std::string FsPath(std::string_view path) {
    return NormaliseSeparators(path, '/');
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string result(folder);
    if (!folder.empty() && !IsSeparator(folder.back()))
        result += '/';
    result += name;
    return result;
}

std::string FileNamePart(std::string_view path) {
    return std::string(path.substr(LastComponentStart(path)));
}

std::string PathStem(std::string_view path) {
    return std::string(path.substr(0, ExtensionDot(path)));
}

std::string PathExtension(std::string_view path) {
    size_t dot = ExtensionDot(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot + 1));
}

std::string RelativePath(std::string_view path, std::string_view base) {
    std::string full = NormaliseSeparators(path, '\\');
    std::string root = NormaliseSeparators(base, '\\');
    size_t common =
        std::mismatch(full.begin(), full.end(), root.begin(), root.end()).first - full.begin();
    std::string rest = full.substr(common);
    if (!rest.empty() && rest.front() == '\\')
        rest.erase(0, 1);
    return rest;
}

bool ToSafeRelativePath(std::string_view name, std::string* out) {
    // A ':' is a drive ("C:", "C:x") or a stream name; neither belongs in a relative name.
    if (name.find('\0') != std::string_view::npos || name.find(':') != std::string_view::npos)
        return false;
    if (name.empty() || IsSeparator(name.front()))
        return false;
    std::string safe;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = std::min(name.find_first_of("/\\", start), name.size());
        std::string_view element = name.substr(start, end - start);
        start = end + 1;
        if (element == "..")
            return false;
        // ".\" and doubled separators add nothing.
        if (element.empty() || element == ".")
            continue;
        if (!safe.empty())
            safe += '/';
        safe += element;
    }
    if (safe.empty())
        return false;
    *out = std::move(safe);
    return true;
}

bool IsSafeNamePart(std::string_view part) {
    return part.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

}  // namespace ZephUtil
