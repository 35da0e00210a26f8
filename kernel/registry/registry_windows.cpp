// The system's registry: each operation opens the key by its path, so that a RegistryKey stays
// a plain copyable value, as it is on Linux.
#include <cstdlib>
#include <vector>

#include "kernel/registry/registry.h"
#include "kernel/system/windows_support.h"

namespace ZephUtil {
namespace {

// The product is a 32-bit program: its keys live in the registry's 32-bit view.
constexpr REGSAM kView = KEY_WOW64_32KEY;

struct Root {
    HKEY key;
    std::string prefix;  // key path below `key` that stands for the root, '\\'-separated
};

Root CurrentRoot() {
    const char* root = std::getenv("ORVIK_REGISTRY_ROOT");
    if (!root || !*root)
        return {HKEY_LOCAL_MACHINE, ""};
    return {HKEY_CURRENT_USER, root};
}

// The key path with '\\' separators and without empty elements; empty when it holds a zero
// byte (the registry would cut the name there).
std::string KeyPath(std::string_view path) {
    std::string result;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view element = path.substr(start, end - start);
        if (element.find('\0') != std::string_view::npos)
            return {};
        if (!element.empty())
            result += (result.empty() ? "" : "\\") + std::string(element);
        start = end + 1;
    }
    return result;
}

std::string Below(const std::string& parent, const std::string& child) {
    if (parent.empty() || child.empty())
        return parent.empty() ? child : parent;
    return parent + "\\" + child;
}

REGSAM Rights(RegAccess access) {
    return (access == RegAccess::kWrite ? KEY_READ | KEY_WRITE : KEY_READ) | kView;
}

// Owns one open key.
class OpenKey {
public:
    OpenKey(const std::string& path, REGSAM rights) {
        const Root root = CurrentRoot();
        const std::wstring full = ToWide(KeyPath(Below(root.prefix, path)));
        if (RegOpenKeyExW(root.key, full.c_str(), 0, rights, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~OpenKey() {
        if (m_key)
            RegCloseKey(m_key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool HasValueName(std::string_view name) {
    return name.find('\0') == std::string_view::npos;
}

}  // namespace

std::string RegistryRoot() {
    const Root root = CurrentRoot();
    return root.key == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE"
                                          : "HKEY_CURRENT_USER\\" + KeyPath(root.prefix);
}

bool RegistryKey::OpenFolder(std::string folder, RegAccess access) {
    Close();
    if (folder.empty() || !OpenKey(folder, Rights(access)).Get())
        return false;
    m_folder = std::move(folder);
    m_access = access;
    return true;
}

bool RegistryKey::Open(std::string_view path, RegAccess access) {
    return OpenFolder(KeyPath(path), access);
}

bool RegistryKey::OpenSubKey(const RegistryKey& parent, std::string_view path, RegAccess access) {
    if (!parent.IsOpen()) {
        Close();
        return false;
    }
    return OpenFolder(Below(parent.m_folder, KeyPath(path)), access);
}

bool RegistryKey::Create(std::string_view path, RegAccess access) {
    Close();
    const std::string keyPath = KeyPath(path);
    const Root root = CurrentRoot();
    HKEY key = nullptr;
    if (keyPath.empty() ||
        RegCreateKeyExW(root.key, ToWide(KeyPath(Below(root.prefix, keyPath))).c_str(), 0, nullptr,
                        0, Rights(access), nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return OpenFolder(keyPath, access);
}

void RegistryKey::Close() {
    m_folder.clear();
    m_access = RegAccess::kRead;
}

bool RegistryKey::EnumSubKey(uint32_t index, std::string* name) const {
    const OpenKey key(m_folder, KEY_READ | kView);
    if (!IsOpen() || !key.Get())
        return false;
    wchar_t found[256];  // the longest key name the registry allows, and its terminator
    DWORD length = 256;
    if (RegEnumKeyExW(key.Get(), index, found, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
        return false;
    *name = FromWide(std::wstring_view(found, length));
    return true;
}

bool RegistryKey::QueryValue(std::string_view name, RegType* type, std::string* data) const {
    const OpenKey key(m_folder, KEY_READ | kView);
    if (!IsOpen() || !key.Get() || !HasValueName(name))
        return false;
    const std::wstring wideName = ToWide(name);
    DWORD kind = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &kind, nullptr, &size) !=
        ERROR_SUCCESS)
        return false;
    std::vector<BYTE> bytes(size + sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &kind, bytes.data(), &size) !=
        ERROR_SUCCESS)
        return false;
    if (kind == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number;
        memcpy(&number, bytes.data(), sizeof number);
        *type = RegType::kDword;
        *data = std::to_string(number);
        return true;
    }
    if (kind != REG_SZ && kind != REG_EXPAND_SZ)
        return false;
    // The stored text may or may not carry its terminator.
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    *type = RegType::kString;
    *data = FromWide(text);
    return true;
}

bool RegistryKey::SetString(std::string_view name, std::string_view text) {
    const OpenKey key(m_folder, KEY_SET_VALUE | kView);
    if (!IsWritable() || !key.Get() || !HasValueName(name))
        return false;
    const std::wstring wide = ToWide(text);
    const DWORD bytes = static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), ToWide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()), bytes) == ERROR_SUCCESS;
}

bool RegistryKey::SetDword(std::string_view name, uint32_t number) {
    const OpenKey key(m_folder, KEY_SET_VALUE | kView);
    if (!IsWritable() || !key.Get() || !HasValueName(name))
        return false;
    const DWORD value = number;
    return RegSetValueExW(key.Get(), ToWide(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(std::string_view name) {
    const OpenKey key(m_folder, KEY_SET_VALUE | kView);
    if (!IsWritable() || !key.Get() || !HasValueName(name))
        return false;
    return RegDeleteValueW(key.Get(), ToWide(name).c_str()) == ERROR_SUCCESS;
}

}  // namespace ZephUtil
