// The machine registry. On Windows it is the system's own (below), on Linux a tree of folders
// and small text files so that operators and tests can read and write it with ordinary tools.
//
// Windows: keys below HKEY_LOCAL_MACHINE, in the registry's 32-bit view (KEY_WOW64_32KEY),
// where the product, a 32-bit program, keeps them; a 64-bit build of ours thus reads and writes
// the same keys as the product's own programs. With ORVIK_REGISTRY_ROOT set and not empty, the
// root is the key of that name below HKEY_CURRENT_USER instead (tests and the demo), each
// folder separator of the name starting a subkey.
//
// Linux:
// The root folder stands for HKEY_LOCAL_MACHINE: $ORVIK_REGISTRY_ROOT when set and not empty,
// else /etc/orvik/registry. A key is a folder, one per path element; a value is a file "@NAME"
// in its key's folder holding two lines, the type ("REG_SZ" or "REG_DWORD") and the data (UTF-8
// text, or the number in decimal). Key and value names compare case-insensitively (ASCII
// letters); an existing spelling is kept. Values are replaced atomically (temporary file in the
// same folder + rename), so a reader sees the old or the new value, never a mix.
//
// Nothing here throws; failures come back as false. Key paths separate elements with '\\' or
// '/'; an element that is empty, "." or "..", starts with '@' or holds a zero byte is refused,
// and so is a value name holding '/' or a zero byte, so nothing outside the root is touched.
// Safe for concurrent use in the sense of the file system: two writers of one value leave one
// of the two values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ZephUtil {

// The root folder now ($ORVIK_REGISTRY_ROOT is read at every call); on Windows the root
// key's name ("HKEY_LOCAL_MACHINE", or "HKEY_CURRENT_USER\\" and the variable's value).
std::string RegistryRoot();

enum class RegAccess {
    kRead,   // values can be queried and subkeys enumerated
    kWrite,  // also set and deleted: needs a key folder this process can change
};

enum class RegType { kString, kDword };

class RegistryKey {
public:
    RegistryKey() = default;  // closed
    RegistryKey(const RegistryKey&) = default;
    RegistryKey& operator=(const RegistryKey&) = default;

    // Opens the existing key at `path` below the root. With kWrite it fails also when this
    // process could not create or replace files in the key's folder. False leaves it closed.
    bool Open(std::string_view path, RegAccess access);
    // As Open, for a subkey of the open key `parent` (may be this key itself).
    bool OpenSubKey(const RegistryKey& parent, std::string_view path, RegAccess access);
    // Creates the key and its missing parents (mode 0755), then opens it. False when a folder
    // could not be made or the open fails.
    bool Create(std::string_view path, RegAccess access);
    void Close();

    bool IsOpen() const { return !m_folder.empty(); }
    bool IsWritable() const { return IsOpen() && m_access == RegAccess::kWrite; }
    // The key's folder (as found on disk; on Windows the key's path below the root); empty
    // while closed.
    const std::string& Folder() const { return m_folder; }

    // The name of subkey number `index` in the order of their folder names (byte order), so
    // that indexes are stable while the tree does not change. False past the last one.
    bool EnumSubKey(uint32_t index, std::string* name) const;

    // The value's type and data. False when the value is missing, unreadable or malformed.
    bool QueryValue(std::string_view name, RegType* type, std::string* data) const;
    // False also when the value is of the other type.
    bool QueryString(std::string_view name, std::string* text) const;
    bool QueryDword(std::string_view name, uint32_t* number) const;

    // Store the value, replacing one of any spelling of `name`. REQUIRES: opened with kWrite.
    bool SetString(std::string_view name, std::string_view text);
    bool SetDword(std::string_view name, uint32_t number);
    // False when there is no such value or it could not be removed. REQUIRES: kWrite.
    bool DeleteValue(std::string_view name);

private:
    bool OpenFolder(std::string folder, RegAccess access);
    bool WriteValue(std::string_view name, const std::string& contents);

    std::string m_folder;
    RegAccess m_access = RegAccess::kRead;
};

}  // namespace ZephUtil
