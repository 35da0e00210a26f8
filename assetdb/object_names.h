// Names of the coordination record's shared objects, derived from the database path so that
// every process of the product finds the same objects for the same database.
#pragma once

#include <string>

namespace ZephPatch {

// Longest composed object name accepted; longer ones refuse the attachment rather than being
// cut to a name another database might share.
constexpr size_t kMaxObjectName = 258;

struct DatabaseObjectNames {
    std::string mutexName;    // prefix + "/" + the lower-cased database folder, '\\' as '/'
    std::string mappingName;  // mutexName + "/-ipc2"
    // The shared-memory object that holds both the record and its mutex: "/" + mutexName with
    // every '/' as '\\'. Injective because the folder part never contains a backslash.
    std::string sharedObjectName;
};

// False when the path (UTF-8) does not end with a separator and "assets.tdx" (compared without
// regard to ASCII case, first occurrence at the end), when its folder does not exist, or when a
// name would be longer than kMaxObjectName.
[[nodiscard]] bool MakeDatabaseObjectNames(const std::string& databasePath,
                                           DatabaseObjectNames* names);

}  // namespace ZephPatch
