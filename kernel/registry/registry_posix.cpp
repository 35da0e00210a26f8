#include "kernel/registry/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <optional>
#include <vector>

#include "kernel/files/unique_fd.h"

namespace ZephUtil {
namespace {

constexpr const char* kDefaultRoot = "/etc/orvik/registry";
constexpr size_t kMaxValueFileSize = 1 << 20;  // far beyond any value; guards a stray big file

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldAscii(x) == FoldAscii(y);
           });
}

std::string Join(const std::string& folder, std::string_view name) {
    return folder + "/" + std::string(name);
}

bool IsSafeKeyElement(std::string_view element) {
    return !element.empty() && element != "." && element != ".." && element.front() != '@' &&
           element.find('\0') == std::string_view::npos;
}

bool IsSafeValueName(std::string_view name) {
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// The elements of a key path; nullopt when one of them could leave the root.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
    std::vector<std::string> elements;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        std::string_view element = path.substr(start, end - start);
        // A leading or trailing separator ("Software\\") is harmless; an inner empty one is not.
        if (element.empty() && (start == 0 || end == path.size())) {
            start = end + 1;
            continue;
        }
        if (!IsSafeKeyElement(element))
            return std::nullopt;
        elements.emplace_back(element);
        start = end + 1;
    }
    return elements;
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Names of the folder's entries (not "." and ".."), sorted byte-wise. Empty when unreadable.
std::vector<std::string> SortedEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The on-disk spelling of `name` in `folder`: the exact spelling when present, else the first
// case-insensitive match in byte order. Only folders when `wantFolder`, else regular files.
std::optional<std::string> FindEntry(const std::string& folder, std::string_view name,
                                     bool wantFolder) {
    auto isWanted = [&](const std::string& path) {
        return wantFolder ? IsFolder(path) : IsRegularFile(path);
    };
    if (isWanted(Join(folder, name)))
        return std::string(name);
    for (const std::string& entry : SortedEntries(folder))
        if (EqualsIgnoringCase(entry, name) && isWanted(Join(folder, entry)))
            return entry;
    return std::nullopt;
}

// Walks `elements` down from `folder`, creating missing folders when `create`.
std::optional<std::string> ResolveKey(std::string folder, const std::vector<std::string>& elements,
                                      bool create) {
    if (create && !IsFolder(folder)) {
        // The root itself, with its parents, the way mkdir -p makes it.
        for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
            const std::string prefix = folder.substr(0, slash);
            if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
                return std::nullopt;
            if (slash == std::string::npos)
                break;
        }
    }
    if (!IsFolder(folder))
        return std::nullopt;
    for (const std::string& element : elements) {
        std::optional<std::string> found = FindEntry(folder, element, true);
        if (!found) {
            if (!create)
                return std::nullopt;
            if (mkdir(Join(folder, element).c_str(), 0755) != 0 && errno != EEXIST)
                return std::nullopt;
            if (!IsFolder(Join(folder, element)))
                return std::nullopt;
            found = element;
        }
        folder = Join(folder, *found);
    }
    return folder;
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen())
        return false;
    contents->clear();
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t got = read(fd.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        contents->append(chunk, static_cast<size_t>(got));
        if (contents->size() > kMaxValueFileSize) {
            ok = false;
            break;
        }
    }
    return ok;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits a value file into its type and data; hand-edited files may use CR LF and may lack the
// final line feed.
bool ParseValueFile(std::string_view contents, RegType* type, std::string* data) {
    const size_t lineEnd = contents.find('\n');
    if (lineEnd == std::string_view::npos)
        return false;
    const std::string_view typeName = TrimBlanks(contents.substr(0, lineEnd));
    std::string_view rest = contents.substr(lineEnd + 1);
    if (!rest.empty() && rest.back() == '\n')
        rest.remove_suffix(1);
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    if (typeName == "REG_SZ") {
        *type = RegType::kString;
        *data = rest;
        return true;
    }
    if (typeName == "REG_DWORD") {
        const std::string_view digits = TrimBlanks(rest);
        uint32_t number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
            return false;
        *type = RegType::kDword;
        *data = digits;
        return true;
    }
    return false;
}

}  // namespace

std::string RegistryRoot() {
    const char* root = std::getenv("ORVIK_REGISTRY_ROOT");
    return (root && *root) ? std::string(root) : std::string(kDefaultRoot);
}

bool RegistryKey::OpenFolder(std::string folder, RegAccess access) {
    Close();
    // The process must be able to add and rename entries there; AT_EACCESS asks for the
    // effective ids, which are what an elevated copy runs with.
    if (access == RegAccess::kWrite &&
        faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    m_folder = std::move(folder);
    m_access = access;
    return true;
}

bool RegistryKey::Open(std::string_view path, RegAccess access) {
    const auto elements = SplitKeyPath(path);
    const auto folder = elements ? ResolveKey(RegistryRoot(), *elements, false) : std::nullopt;
    if (!folder) {
        Close();
        return false;
    }
    return OpenFolder(*folder, access);
}

bool RegistryKey::OpenSubKey(const RegistryKey& parent, std::string_view path, RegAccess access) {
    const auto elements = SplitKeyPath(path);
    const auto folder = (elements && parent.IsOpen())
                            ? ResolveKey(parent.m_folder, *elements, false)
                            : std::nullopt;
    if (!folder) {
        Close();
        return false;
    }
    return OpenFolder(*folder, access);
}

bool RegistryKey::Create(std::string_view path, RegAccess access) {
    const auto elements = SplitKeyPath(path);
    const auto folder = elements ? ResolveKey(RegistryRoot(), *elements, true) : std::nullopt;
    if (!folder) {
        Close();
        return false;
    }
    return OpenFolder(*folder, access);
}

void RegistryKey::Close() {
    m_folder.clear();
    m_access = RegAccess::kRead;
}

bool RegistryKey::EnumSubKey(uint32_t index, std::string* name) const {
    if (!IsOpen())
        return false;
    uint32_t seen = 0;
    for (const std::string& entry : SortedEntries(m_folder)) {
        if (entry.front() == '@' || !IsFolder(Join(m_folder, entry)))
            continue;
        if (seen++ == index) {
            *name = entry;
            return true;
        }
    }
    return false;
}

bool RegistryKey::QueryValue(std::string_view name, RegType* type, std::string* data) const {
    if (!IsOpen() || !IsSafeValueName(name))
        return false;
    const auto file = FindEntry(m_folder, "@" + std::string(name), false);
    std::string contents;
    return file && ReadWholeFile(Join(m_folder, *file), &contents) &&
           ParseValueFile(contents, type, data);
}

bool RegistryKey::SetString(std::string_view name, std::string_view text) {
    return WriteValue(name, "REG_SZ\n" + std::string(text) + "\n");
}

bool RegistryKey::SetDword(std::string_view name, uint32_t number) {
    return WriteValue(name, "REG_DWORD\n" + std::to_string(number) + "\n");
}

bool RegistryKey::WriteValue(std::string_view name, const std::string& contents) {
    if (!IsWritable() || !IsSafeValueName(name))
        return false;
    const std::string fileName =
        FindEntry(m_folder, "@" + std::string(name), false).value_or("@" + std::string(name));
    // The temporary name starts with '.', never '@', so a crash mid-way leaves no false value.
    std::string temp = Join(m_folder, ".@value-XXXXXX");
    UniqueFd fd(mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.IsOpen())
        return false;
    const bool written =
        fchmod(fd.Get(), 0644) == 0 && WriteAll(fd.Get(), contents) && fsync(fd.Get()) == 0;
    const bool closed = fd.Close();
    if (!written || !closed || rename(temp.c_str(), Join(m_folder, fileName).c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; the value is already in place if this fails.
    const UniqueFd folder(open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.IsOpen())
        fsync(folder.Get());
    return true;
}

bool RegistryKey::DeleteValue(std::string_view name) {
    if (!IsWritable() || !IsSafeValueName(name))
        return false;
    const auto file = FindEntry(m_folder, "@" + std::string(name), false);
    return file && unlink(Join(m_folder, *file).c_str()) == 0;
}

}  // namespace ZephUtil
