// File and path utilities. Paths are UTF-8; both '/' and '\\' are accepted as separators and
// the file system always receives '/'. None of these hold locks or throw.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace ZephUtil {

// Every '/' and '\\' replaced by `separator`.
std::string NormaliseSeparators(std::string_view path, char separator);
// The form handed to the file system: separators as '/'.
std::string FsPath(std::string_view path);

// The name alone for an empty folder; folder + name when the folder ends in a separator;
// otherwise folder + "/" + name.
std::string JoinPath(std::string_view folder, std::string_view name);
std::string FileNamePart(std::string_view path);
// Without the last '.' of the last component and what follows; the whole path when none.
std::string PathStem(std::string_view path);
std::string PathExtension(std::string_view path);
// Both normalised to '\\': the path after the longest common prefix, less one leading '\\'.
std::string RelativePath(std::string_view path, std::string_view base);

// A name taken from a format or the network (list file entry, archive record, segment key):
// converts its backslashes to '/' and stores it in `out`. False, leaving `out` alone, when the
// name is empty, absolute, has a drive letter or a ".." element, so it would leave its root.
// A leading ".\\" is dropped.
bool ToSafeRelativePath(std::string_view name, std::string* out);

bool IsDirectory(const std::string& path);
bool FileExists(const std::string& path);
// Read-only means no write bit for anyone; true when done or already so.
bool SetReadOnly(const std::string& path);
bool ClearReadOnly(const std::string& path);
// 0 and the size / the modification time (seconds since 1970 UTC); 2 and 0 on failure.
int GetFileSizeOf(const std::string& path, uint64_t* size);
int GetFileModifiedTime(const std::string& path, uint64_t* seconds);
// False for an empty path, else whether the file was deleted.
bool DeleteFileAt(const std::string& path);
// False when the source is missing or held open for writing by another process (it cannot be
// locked exclusively); else whether the rename succeeded.
bool MoveFileIfFree(const std::string& from, const std::string& to);
// Deletes the folder and everything below it; the result is whether the folder itself went.
bool DeleteTree(const std::string& folder);
// Creates the folder and its missing parents. False with errno EEXIST when the path names a
// file; the failure of a creation is logged.
bool MakeDirectory(const std::string& folder);
// JoinPath(folder, "file%u") with a process-wide counter started at the millisecond clock.
std::string MakeTempName(const std::string& folder);
// 0 and the full paths of all entries (not "." and ".."), or 4 when it cannot be listed.
int ListFolder(const std::string& folder, std::set<std::string>* entries);

}  // namespace ZephUtil
