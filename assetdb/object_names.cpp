#include "assetdb/object_names.h"

#include <algorithm>
#include <string_view>

#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"

namespace ZephPatch {
namespace {

constexpr std::string_view kMutexPrefix = "09731AC6-B611-4e2a-B181-578073F64F24";
constexpr std::string_view kDatabaseFile = "assets.tdx";
constexpr std::string_view kMappingSuffix = "/-ipc2";

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

bool MakeDatabaseObjectNames(const std::string& databasePath, DatabaseObjectNames* names) {
    const std::string narrow =
        LowerAscii(ZephUtil::ToNarrowString(ZephUtil::Utf8ToUtf16(databasePath)));
    const size_t at = narrow.find(kDatabaseFile);
    if (at == std::string::npos || at + kDatabaseFile.size() != narrow.size())
        return false;
    // The name must be a whole file name: "myassets.tdx" is not the database.
    if (at == 0 || !IsSeparator(narrow[at - 1]))
        return false;
    const size_t dropped = kDatabaseFile.size() + 1;
    // The tail is ASCII, so the UTF-8 path ends with the same bytes as the 8-bit form.
    if (!ZephUtil::IsDirectory(databasePath.substr(0, databasePath.size() - dropped))) {
        return false;
    }

    std::string folder = narrow.substr(0, narrow.size() - dropped);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    DatabaseObjectNames made;
    made.mutexName = std::string(kMutexPrefix) + "/" + folder;
    made.mappingName = made.mutexName + std::string(kMappingSuffix);
    if (made.mappingName.size() > kMaxObjectName)
        return false;
    made.sharedObjectName = "/" + made.mutexName;
    std::replace(made.sharedObjectName.begin() + 1, made.sharedObjectName.end(), '/', '\\');
    *names = std::move(made);
    return true;
}

}  // namespace ZephPatch
